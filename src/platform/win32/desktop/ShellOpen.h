#pragma once
// Hand-offs of saved files to Explorer. A path the shell's text interfaces cannot take (MAX_PATH
// or longer, no 8.3 form) goes by the shell's item for it; what cannot be handed over at all is
// said on standard error.
#include <windows.h>

#include <filesystem>

// The file's default action, with the file's own folder as working folder.
void shellOpenFile(HWND owner, const std::filesystem::path& file);
// An Explorer window with the file selected.
void shellRevealFile(HWND owner, const std::filesystem::path& file);
