#include "ShellOpen.h"

#include <shellapi.h>

#include <string>

void shellOpenFile(HWND owner, const std::filesystem::path& file) {
  const std::wstring folder = file.parent_path().native();
  ::ShellExecuteW(owner, L"open", file.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
}

void shellRevealFile(HWND owner, const std::filesystem::path& file) {
  const std::wstring parameters = L"/select,\"" + file.native() + L"\"";
  ::ShellExecuteW(owner, L"open", L"explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}
