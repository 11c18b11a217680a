#include <cstdint>

#include "common/hex.h"

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// What the C runtime's strtol counts as leading white space in the "C" locale.
bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One pair read the way strtol(pair, &end, 16) reads it, accepted only when it consumes both
// characters: two digits, or white space or a sign followed by one digit (a minus keeps the
// low 8 bits of the negative value). False for anything else.
bool decodePair(char a, char b, unsigned char& out) {
  const int low = hexDigit(b);
  if (low < 0) return false;
  const int high = hexDigit(a);
  if (high >= 0) {
    out = static_cast<unsigned char>(high * 16 + low);
  } else if (a == '-') {
    out = static_cast<unsigned char>(-low & 0xFF);
  } else if (a == '+' || isCSpace(a)) {
    out = static_cast<unsigned char>(low);
  } else {
    return false;
  }
  return true;
}

}  // namespace

Bytes hexDecode(std::string_view text) {
  if (text.size() % 2 != 0) return {};
  Bytes out;
  out.resize(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char byte;
    if (!decodePair(text[2 * i], text[2 * i + 1], byte)) return {};
    out[i] = static_cast<char>(byte);
  }
  return out;
}

std::string hexEncode(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.resize(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[2 * i] = kDigits[b >> 4];
    out[2 * i + 1] = kDigits[b & 0x0F];
  }
  return out;
}
