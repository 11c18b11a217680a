#include "common/base64.h"

Bytes base64Decode(std::string_view text) { return decodeBase64Strictly(text); }
