#include "common/text.h"

#include <cstdint>

namespace {

// Decodes one UTF-8 sequence starting at s[i]; returns the code point or -1 when ill-formed
// (truncated, overlong, stray continuation, surrogate, or beyond U+10FFFF).
long decodeUtf8(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra;
  long cp;
  long minimum;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, minimum = 0x10000;
  } else {
    return -1;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) return -1;
  for (int k = 1; k <= extra; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

}  // namespace

WString toWide(std::string_view s) {
  WString out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const long cp = decodeUtf8(s, i);
    if (cp < 0) return {};
    if (cp >= 0x10000) {
      const long v = cp - 0x10000;
      out.push_back(static_cast<WChar>(0xD800 + (v >> 10)));
      out.push_back(static_cast<WChar>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<WChar>(cp));
    }
  }
  return out;
}

std::string toNarrow(WStringView w) {
  std::string out;
  out.reserve(w.size());
  for (std::size_t i = 0; i < w.size(); ++i) {
    std::uint32_t cp = static_cast<std::uint16_t>(w[i]);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= w.size()) return {};
      const std::uint32_t lo = static_cast<std::uint16_t>(w[i + 1]);
      if (lo < 0xDC00 || lo > 0xDFFF) return {};
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return {};
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

WString lowerWide(WStringView text) {
  WString out(text);
  for (auto& c : out) {
    if (c >= WChar('A') && c <= WChar('Z')) c = static_cast<WChar>(c + ('a' - 'A'));
  }
  return out;
}

std::filesystem::path widePath(WStringView text) {
  // Through UTF-8: std::filesystem on this platform keeps narrow paths, and an unpaired
  // surrogate has no file name anyway.
  const std::string narrow = toNarrow(text);
  return std::filesystem::path(std::u8string(narrow.begin(), narrow.end()));
}

WString pathWide(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return toWide(std::string_view(reinterpret_cast<const char*>(u8.data()), u8.size()));
}
