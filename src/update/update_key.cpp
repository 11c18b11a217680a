// The public half of the update signing key is a build setting (see cmake/ReleaseKey.cmake).
#include "update/UpdateKey.h"

#include "common/signature.h"

std::string_view updateKeyX() { return DESK_KEY_X; }
std::string_view updateKeyY() { return DESK_KEY_Y; }

bool verifyUpdateSignature(std::string_view message, std::string_view signatureHex) {
  return verifySignatureWithKey(message, signatureHex, updateKeyX(), updateKeyY());
}
