// Arbitrary text as a file name and as a "dir", through uniqueSavePath on an in-memory folder
// model: the cleaned name is never empty, never a path, never a reserved device name; the
// folder never leaves the received folder; and the name chosen is the first free one.
//
// Input: 1 byte (low 3 bits: how many numbered names are taken already; bit 3: the next one's
// ".part" is taken too), then the text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/App.h"
#include "app/SavePlaces.h"
#include "files/Saving.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"
#include "support/MemoryFolders.h"

#include "support/FakeDesktop.cpp"
#include "support/FakeWebHost.cpp"
#include "support/TempDir.cpp"

namespace {

void checkName(const WString& name) {
  if (name.empty() || name.size() > kMaxFileNameUnits + 1) std::abort();
  if (name == DESK_W(".") || name == DESK_W("..")) std::abort();
  if (name.back() == WChar('.') || name.back() == WChar(' ')) std::abort();
  for (WChar c : name)
    if (c < 32 || WStringView(DESK_W("<>:\"/\\|?*")).find(c) != WStringView::npos) std::abort();
  // No device name before the first dot (trailing spaces ignored): Windows would open the device.
  WString base = name.substr(0, std::min(name.find(WChar('.')), name.size()));
  while (!base.empty() && base.back() == WChar(' ')) base.pop_back();
  for (auto& c : base)
    if (c >= WChar('a') && c <= WChar('z')) c = static_cast<WChar>(c - 32);
  for (const char* r : {"CON", "PRN", "AUX", "NUL"})
    if (base == toWide(r)) std::abort();
  if (base.size() == 4 && (base.starts_with(DESK_W("COM")) || base.starts_with(DESK_W("LPT"))) && base[3] >= WChar('1') &&
      base[3] <= WChar('9'))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FakeDesktop desk;
  static FakeWebHost web;
  static MemoryFolders folders;
  static App app(desk, web);
  app.saveFolders = &folders;
  if (size < 1) return 0;
  const unsigned taken = data[0] & 7;
  const bool partTaken = (data[0] & 8) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  // As UTF-8, and as raw UTF-16 code units (lone surrogates included).
  const WString clean = cleanFileName(toWide(text));
  checkName(clean);
  WString units;
  for (std::size_t i = 1; i + 1 < size; i += 2) units.push_back(static_cast<WChar>(data[i] | (data[i + 1] << 8)));
  const WString fromUnits = cleanFileName(units);
  checkName(fromUnits);
  if (!toNarrow(units).empty() && toNarrow(fromUnits).empty()) std::abort();  // a cut split a pair

  const std::filesystem::path root = receivedFolder(app);
  const std::filesystem::path folder = saveFolder(app, text);
  if (!folders.exists(folder)) std::abort();
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

  for (unsigned n = 0; n < taken; ++n) folders.add(folder / widePath(numberedName(clean, n)));
  if (partTaken) folders.add(folder / widePath(numberedName(clean, taken) + DESK_W(".part")));
  const std::uint64_t expected = taken + (partTaken ? 1 : 0);
  {
    const ReservedPath chosen = uniqueSavePath(app, text, text);
    if (chosen.number() != expected || chosen.path() != folder / widePath(numberedName(clean, expected))) {
      std::abort();
    }
  }
  // Whatever this input allocated is freed before it ends, or libFuzzer suspects a leak and
  // runs every input twice.
  folders.clear();
  return 0;
}
