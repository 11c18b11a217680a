#include "ShellOpen.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/text.h"
#include "platform/win32/common/LongPath.h"

namespace {

struct ItemFree {
  void operator()(ITEMIDLIST* item) const { ::CoTaskMemFree(item); }
};
using Item = std::unique_ptr<ITEMIDLIST, ItemFree>;

// The shell's own name for a file, for a path too long for its text interfaces and without a
// short form; none when the shell cannot parse it either.
Item shellItem(const std::filesystem::path& file) {
  PIDLIST_ABSOLUTE raw = nullptr;
  if (FAILED(::SHParseDisplayName(plainPath(file).c_str(), nullptr, &raw, 0, nullptr))) return Item();
  return Item(raw);
}

void tellNotHandedOver(const char* what, const std::filesystem::path& file) {
  std::fprintf(stderr, "tamsel-desk: cannot %s %s\n", what, toNarrow(plainPath(file)).c_str());
  std::fflush(stderr);
}

}  // namespace

void shellOpenFile(HWND owner, const std::filesystem::path& file) {
  const std::wstring path = shellPath(file);
  const std::wstring folder = shellPath(file.parent_path());
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  Item item;
  if (!path.empty()) {
    info.lpFile = path.c_str();
  } else if ((item = shellItem(file))) {
    info.fMask = SEE_MASK_IDLIST;
    info.lpIDList = item.get();
  }
  if ((!info.lpFile && !info.lpIDList) || !::ShellExecuteExW(&info)) tellNotHandedOver("open", file);
}

void shellRevealFile(HWND owner, const std::filesystem::path& file) {
  if (const std::wstring path = shellPath(file); !path.empty()) {
    const std::wstring parameters = L"/select,\"" + path + L"\"";
    if (reinterpret_cast<INT_PTR>(::ShellExecuteW(owner, L"open", L"explorer.exe", parameters.c_str(), nullptr,
                                                  SW_SHOWNORMAL)) > 32)
      return;
  } else if (const Item item = shellItem(file); item) {
    if (SUCCEEDED(::SHOpenFolderAndSelectItems(item.get(), 0, nullptr, 0))) return;
  }
  tellNotHandedOver("show", file);
}
