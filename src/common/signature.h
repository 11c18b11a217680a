#pragma once
// ECDSA P-256 signatures: r||s as 128 hex digits (either case) over SHA-256(message).
#include <string_view>

bool verifySignatureWithKey(std::string_view message, std::string_view signatureHex,
                            std::string_view keyXHex, std::string_view keyYHex);
