#pragma once
// Start at log-in: the XDG autostart entry $XDG_CONFIG_HOME/autostart/TamselDeskNative.desktop
// (default ~/.config/autostart). The entry is the state: on when it exists as a regular file,
// whatever program it names.
#include <filesystem>
#include <optional>
#include <string>

std::filesystem::path autostartEntryPath();

// The Exec value that runs `program` with no arguments: the path in double quotes with the
// desktop-entry escapes (quoting first, then the string escapes, so one backslash becomes four).
// Paths that no Exec key can carry (line breaks, other control characters) give nothing.
std::optional<std::string> desktopExecValue(const std::string& program);

// The whole entry file for `program`, or nothing when it cannot be written for that path.
std::optional<std::string> autostartEntryText(const std::string& program);

bool autostartEntryPresent(const std::filesystem::path& entry);
// enable: write the entry (atomically) for program; disable: remove it (absent is not an error).
bool applyAutostart(const std::filesystem::path& entry, bool enable, const std::string& program);
