// Arbitrary text as a file name and as a "dir": the cleaned name is never empty, never a path,
// never a reserved device name, and the folder never leaves the received folder.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "files/Saving.h"

namespace {

void checkName(const WString& name) {
  if (name.empty() || name.size() > kMaxFileNameUnits + 1) std::abort();
  if (name == DESK_W(".") || name == DESK_W("..")) std::abort();
  if (name.back() == WChar('.') || name.back() == WChar(' ')) std::abort();
  for (WChar c : name)
    if (c < 32 || WStringView(DESK_W("<>:\"/\\|?*")).find(c) != WStringView::npos) std::abort();
  const std::size_t dot = name.rfind(WChar('.'));
  WString stem = dot != WString::npos && dot != 0 ? name.substr(0, dot) : name;
  for (auto& c : stem)
    if (c >= WChar('a') && c <= WChar('z')) c = static_cast<WChar>(c - 32);
  static const std::array<const char*, 11> reserved = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2",
                                                       "COM3", "COM4", "LPT1", "LPT2", "LPT3"};
  for (const char* r : reserved)
    if (stem == toWide(r)) std::abort();
}

const std::filesystem::path& receivedRoot() {
  static const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("desk-fuzz-received-" + std::to_string(std::rand()));
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // As UTF-8, and as raw UTF-16 code units (lone surrogates included).
  const WString wide = toWide(text);
  checkName(cleanFileName(wide));
  WString units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<WChar>(data[i] | (data[i + 1] << 8)));
  const WString fromUnits = cleanFileName(units);
  checkName(fromUnits);
  if (!toNarrow(units).empty() && toNarrow(fromUnits).empty()) std::abort();  // a cut split a pair

  const std::filesystem::path& root = receivedRoot();
  std::error_code ec;
  std::filesystem::create_directories(root, ec);
  const std::filesystem::path folder = saveFolderUnder(root, text);
  const auto rel = folder.lexically_relative(root);
  if (rel.empty()) std::abort();
  std::size_t levels = 0;
  for (const auto& part : rel) {
    if (rel == ".") break;
    if (part == "." || part == ".." || part.empty()) std::abort();
    checkName(pathWide(part).substr(0, kMaxFolderNameUnits));
    ++levels;
  }
  if (levels > kMaxFolderLevels) std::abort();
  if (!std::filesystem::is_directory(folder, ec)) std::abort();
  std::filesystem::remove_all(root, ec);
  return 0;
}
