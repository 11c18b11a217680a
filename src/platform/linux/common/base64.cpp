#include "common/crypto.h"

Bytes base64Decode(std::string_view text) { return decodeBase64Strictly(text); }
