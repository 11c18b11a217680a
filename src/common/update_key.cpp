// The public half of the update signing key is a build setting (see cmake/ReleaseKey.cmake).
#include "common/crypto.h"

std::string_view updateKeyX() { return DESK_KEY_X; }
std::string_view updateKeyY() { return DESK_KEY_Y; }
