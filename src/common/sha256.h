#pragma once
// SHA-256 digests as lower-case hexadecimal text.
#include <filesystem>
#include <string>
#include <string_view>

std::string sha256FileHex(const std::filesystem::path& path);  // empty on any failure
std::string sha256Hex(std::string_view bytes);
