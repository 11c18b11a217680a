#pragma once
// The release key that signs update manifests, built in (see cmake/ReleaseKey.cmake).
#include <string_view>

// The built-in public key, as 64-digit hex each.
std::string_view updateKeyX();
std::string_view updateKeyY();
// A signature (see common/signature.h) checked against the built-in key.
bool verifyUpdateSignature(std::string_view message, std::string_view signatureHex);
