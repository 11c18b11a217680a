#pragma once
// Hexadecimal text of raw bytes.
#include <string>
#include <string_view>

#include "common/bytes.h"

Bytes hexDecode(std::string_view text);  // empty when odd length or not hexadecimal
std::string hexEncode(std::string_view bytes);  // lower case
