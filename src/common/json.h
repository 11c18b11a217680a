#pragma once
// JSON is parsed without exceptions and without comments; a key is used only when it is
// present with the expected kind, otherwise it counts as absent. Output is compact with sorted keys.
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/text.h"

using Json = nlohmann::json;

// Parse text; anything malformed gives a discarded value (never throws).
Json parseJson(std::string_view text);
// Always an object: a missing, unreadable or malformed file, or one that is not an object, gives {}.
Json loadJsonFile(const std::filesystem::path& path);
// The same for a file already open (a stream in a failed state gives {}).
Json loadJsonStream(std::istream& in);
// Both, and why a file that is there was not used ("line 2, column 9: not valid JSON",
// "not a JSON object", "cannot be read"); empty when it was used or does not exist.
Json loadJsonFile(const std::filesystem::path& path, std::string& whyIgnored);
Json loadJsonStream(std::istream& in, std::string& whyIgnored);
// Compact dump, raw UTF-8, sorted keys (nlohmann's object type is ordered by key).
std::string jsonDump(const Json& value);
// A double-quoted JavaScript string literal (JSON escapes), as wide text for a page script.
WString scriptString(std::string_view utf8);

// Key readers: present with the expected kind, else nullopt.
std::optional<std::string> jsonString(const Json& object, const char* key);
std::optional<bool> jsonBool(const Json& object, const char* key);      // only true/false
std::optional<double> jsonNumber(const Json& object, const char* key);  // any number kind
std::optional<std::uint64_t> jsonUnsigned(const Json& object, const char* key);  // non-negative integer value
const Json* jsonArray(const Json& object, const char* key);
const Json* jsonObject(const Json& object, const char* key);
bool jsonIsTrue(const Json& object, const char* key);
