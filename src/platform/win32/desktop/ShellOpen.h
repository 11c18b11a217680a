#pragma once
// Hand-offs of saved files to Explorer; failures are not reported (the shell's own error box,
// if any, is the user's only feedback).
#include <windows.h>

#include <filesystem>

// The file's default action, with the file's own folder as working folder.
void shellOpenFile(HWND owner, const std::filesystem::path& file);
// An Explorer window with the file selected.
void shellRevealFile(HWND owner, const std::filesystem::path& file);
