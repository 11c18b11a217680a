#pragma once
// Base64 text of raw bytes.
#include <string_view>

#include "common/bytes.h"

// Standard alphabet with padding; line breaks and spaces between groups are tolerated.
Bytes base64Decode(std::string_view text);
// The rules above on their own (common/base64.cpp), which every backend's decoder keeps.
Bytes decodeBase64Strictly(std::string_view text);
