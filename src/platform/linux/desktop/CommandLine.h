#pragma once
// The command line as Linux users expect it, read before anything else of the shell: --help and
// --version are answered on standard output and the program ends (no display opened, no lock
// taken); any other option the shell does not know is named on standard error and ignored.
#include <optional>

// The exit code when the command line was answered; nullopt when the shell is to start.
std::optional<int> answerCommandLine(int argc, char** argv);
