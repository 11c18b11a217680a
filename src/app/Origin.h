#pragma once
// Where the desk page comes from: the built-in default, then server.json beside the program,
// then config.json in the data folder, then the last "--server=" argument, each replacing the
// one before. The chosen text keeps the spelling of its source apart from trailing slashes.
#include <string>
#include <vector>

#include "common/json.h"
#include "common/text.h"

inline constexpr const char* kDefaultServerOrigin = "https://desk.tamsel.example";

// serverJson and configJson are the parsed files ({} when missing or malformed).
std::string chooseOrigin(const Json& serverJson, const Json& configJson, const std::vector<WString>& arguments);

// Removes every "/" from the end.
WString trimOrigin(WString origin);

// https with a host and nothing after it (an empty path or "/"), or http on a local host;
// no user name, password, query or fragment.
bool originAcceptable(const WString& origin);
