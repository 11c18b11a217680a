#pragma once
// Start at log-on: the value "TamselDeskNative" under the current user's Run key. The value is
// the state: on when a string value of that name exists, whatever program it names, unless the
// user switched the entry off in Task Manager or Settings (Explorer's StartupApproved mark).
#include <filesystem>

bool autostartValuePresent();
// enable: write the quoted program path and clear a switched-off mark; disable: delete the
// value (absent is not an error).
bool applyAutostart(bool enable, const std::filesystem::path& program);
