#pragma once
// Two forms of text: UTF-8 byte strings for protocol, JSON and file content, and UTF-16
// ("wide") strings for everything handed to the platform: paths, window texts, scripts.
// Wide text is UTF-16 on every platform (see desk_wchar.h) so rules counted in code units agree.
#include <filesystem>
#include <string>
#include <string_view>

#include "desk_wchar.h"

using WString = std::basic_string<WChar>;
using WStringView = std::basic_string_view<WChar>;

// Whole-string conversions: any ill-formed input gives the empty string, never a partial result.
WString toWide(std::string_view utf8);
std::string toNarrow(WStringView utf16);

// Code unit by code unit, A-Z only (what towlower does in the "C" locale).
WString lowerWide(WStringView text);

// Paths are built from wide text and read back as wide text.
std::filesystem::path widePath(WStringView text);
WString pathWide(const std::filesystem::path& path);
