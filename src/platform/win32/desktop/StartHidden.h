#pragma once
// Starts a program through the shell, hidden and detached (the installer hand-off: "/S /UPDATE").
#include <filesystem>
#include <vector>

#include "common/text.h"

// True when the shell reports that the program started (ShellExecuteW above 32).
bool shellStartHidden(const std::filesystem::path& program, const std::vector<WString>& args);

// The arguments as one command line that the program's own parser splits back into them.
WString joinCommandLine(const std::vector<WString>& args);
