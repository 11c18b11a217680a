// The Base64 rules both shells keep: the standard alphabet; space, tab, CR and LF skipped
// wherever they appear; "=" padding only at the end of the last group, which may also stop
// short without padding when it holds 2 or 3 characters. Any other character, a lone trailing
// character, or data after the padding refuses the whole text.
#include <cstdint>

#include "common/base64.h"

namespace {

constexpr int kSkip = -2;
constexpr int kPad = -3;
constexpr int kBad = -1;

int classify(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  if (c == '=') return kPad;
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return kSkip;
  return kBad;
}

}  // namespace

Bytes decodeBase64Strictly(std::string_view text) {
  Bytes out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t group = 0;  // sextets of the current group
  int filled = 0;           // characters of the current group, padding included
  int padding = 0;
  for (char c : text) {
    const int v = classify(c);
    if (v == kSkip) continue;
    if (v == kBad) return {};
    if (v == kPad) {
      // Padding completes a group that holds at least two characters.
      if (filled < 2) return {};
      ++padding;
      ++filled;
      if (filled == 4) {
        if (padding == 1) {
          out.push_back(static_cast<char>(group >> 10));
          out.push_back(static_cast<char>(group >> 2));
        } else {
          out.push_back(static_cast<char>(group >> 4));
        }
        filled = 0;
      }
      continue;
    }
    if (padding > 0) return {};  // nothing but white space after the padding
    group = (group << 6) | static_cast<std::uint32_t>(v);
    if (++filled == 4) {
      out.push_back(static_cast<char>(group >> 16));
      out.push_back(static_cast<char>(group >> 8));
      out.push_back(static_cast<char>(group));
      group = 0;
      filled = 0;
    }
  }
  if (padding > 0) {
    if (filled != 0) return {};  // a group with too little padding
    return out;
  }
  switch (filled) {
    case 0:
      return out;
    case 2:
      out.push_back(static_cast<char>(group >> 4));
      return out;
    case 3:
      out.push_back(static_cast<char>(group >> 10));
      out.push_back(static_cast<char>(group >> 2));
      return out;
    default:
      return {};
  }
}
