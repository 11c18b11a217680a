#pragma once
// Start at log-on: the value "TamselDeskNative" under the current user's Run key. The value is
// the state: on when a string value of that name exists, whatever program it names.
#include <filesystem>

bool autostartValuePresent();
// enable: write the quoted program path; disable: delete the value (absent is not an error).
bool applyAutostart(bool enable, const std::filesystem::path& program);
