#include "files/Saving.h"

#include <algorithm>
#include <array>


namespace {

bool isHighSurrogate(WChar c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(WChar c) { return c >= 0xDC00 && c <= 0xDFFF; }

void trimTrailingDotsAndSpaces(WString& s) {
  while (!s.empty() && (s.back() == WChar('.') || s.back() == WChar(' '))) s.pop_back();
}

// Cutting must not leave half of a surrogate pair: such a name has no UTF-8 form at all.
WString keepLast(const WString& s, std::size_t units) {
  if (s.size() <= units) return s;
  WString out = s.substr(s.size() - units);
  if (!out.empty() && isLowSurrogate(out.front())) out.erase(0, 1);
  return out;
}

WString keepFirst(const WString& s, std::size_t units) {
  if (s.size() <= units) return s;
  WString out = s.substr(0, units);
  if (!out.empty() && isHighSurrogate(out.back())) out.pop_back();
  return out;
}

std::size_t utf8Size(WStringView s) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const WChar c = s[i];
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (isHighSurrogate(c) && i + 1 < s.size() && isLowSurrogate(s[i + 1])) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3;  // a lone surrogate cannot be written anyway; count it as its own unit
    }
  }
  return bytes;
}

// Windows opens a device, not a file, for these names with any extension after them ("nul.txt",
// "con.tar.gz", also "aux .txt"): the part before the first dot, trailing spaces ignored.
bool isReservedDeviceName(WStringView name) {
  WStringView base = name.substr(0, std::min(name.find(WChar('.')), name.size()));
  while (!base.empty() && base.back() == WChar(' ')) base.remove_suffix(1);
  // The first word.size() units of base, upper-cased, are word.
  const auto startsWith = [&](WStringView word) {
    if (base.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      const WChar c = base[i] >= WChar('a') && base[i] <= WChar('z') ? static_cast<WChar>(base[i] - ('a' - 'A')) : base[i];
      if (c != word[i]) return false;
    }
    return true;
  };
  static constexpr std::array<WStringView, 4> kDevices = {DESK_W("CON"), DESK_W("PRN"), DESK_W("AUX"), DESK_W("NUL")};
  if (base.size() == 3) return std::any_of(kDevices.begin(), kDevices.end(), startsWith);
  return base.size() == 4 && (startsWith(DESK_W("COM")) || startsWith(DESK_W("LPT"))) && base[3] >= WChar('1') &&
         base[3] <= WChar('9');
}

bool isSeparator(WChar c) { return c == WChar('/') || c == WChar('\\'); }

}  // namespace

WString cleanFileName(WStringView name) {
  std::size_t start = 0;
  if (name.size() >= 2 && name[1] == WChar(':') &&
      ((name[0] >= WChar('A') && name[0] <= WChar('Z')) || (name[0] >= WChar('a') && name[0] <= WChar('z'))))
    start = 2;
  for (std::size_t i = name.size(); i > start; --i) {
    if (isSeparator(name[i - 1])) {
      start = i;
      break;
    }
  }
  WString out(name.substr(start));
  static const WStringView kReplaced = DESK_W("<>:\"/\\|?*");
  for (auto& c : out)
    if (c < 32 || kReplaced.find(c) != WStringView::npos) c = WChar('_');
  trimTrailingDotsAndSpaces(out);
  out = keepLast(out, kMaxFileNameUnits);
  while (kFileNamesCountBytes && utf8Size(out) > kMaxFileNameBytes) out = keepLast(out, out.size() - 1);
  if (out.empty()) return DESK_W("_");
  if (isReservedDeviceName(out)) return DESK_W("_") + out;
  return out;
}

std::filesystem::path saveFolderUnder(const std::filesystem::path& received, std::string_view dir,
                                      FolderModel& folders) {
  if (dir.empty()) return received;
  const WString wide = toWide(dir);
  std::filesystem::path folder = received;
  std::size_t levels = 0;
  std::size_t begin = 0;
  while (begin <= wide.size() && levels < kMaxFolderLevels) {
    std::size_t end = begin;
    while (end < wide.size() && !isSeparator(wide[end])) ++end;
    const WString piece = wide.substr(begin, end - begin);
    begin = end + 1;
    if (piece.find_first_not_of(WChar('.')) == WString::npos) continue;  // "", ".", "..", ...
    WString level = keepFirst(cleanFileName(piece), kMaxFolderNameUnits);
    trimTrailingDotsAndSpaces(level);
    if (level.empty()) continue;
    // The cut can bare a device name ("con." + 76 characters + ".txt" keeps "con.xxx").
    if (isReservedDeviceName(level)) level.insert(level.begin(), WChar('_'));
    folder /= widePath(level);
    ++levels;
  }
  if (folder == received || !folders.makeFolders(folder)) return received;
  return folder;
}

bool placeSavedFile(FileJob& job, const std::filesystem::path& partFile, WStringView originUrl) {
  job.ok = false;
  for (;;) {
    if (job.path.empty()) return false;
    const FileOpResult moved = moveFileNoReplace(partFile, job.path);
    if (moved == FileOpResult::Done) break;
    if (moved == FileOpResult::Failed) return false;
    // Something appeared under the chosen name since it was chosen: it stays untouched.
    ReservedPath next = job.reservation.empty()
                            ? reserveFreePath(job.path.parent_path(), pathWide(job.path.filename()), 1)
                            : job.reservation.next();
    if (next.empty()) return false;
    job.reservation = std::move(next);
    job.path = job.reservation.path();
  }
  removeExecuteBits(job.path);
  writeZoneIdentifier(job.path, originUrl);
  job.ok = true;
  return true;
}
