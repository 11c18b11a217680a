#pragma once
// The boxes carry the system's own short texts; what a user needs to act on them (which folder,
// which file and line, which address) goes to standard error as well, one line per cause, so a
// terminal or the session log shows it.
#include <string_view>

void reportCause(std::string_view cause);
