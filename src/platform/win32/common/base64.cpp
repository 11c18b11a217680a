// Base64 through the system's decoder (CRYPT_STRING_BASE64): asked once for the size, once to
// decode. The decoder takes some malformed text by decoding a part of it ("QQ==QQ==" gives one
// byte, not two); bytes the page sent would be lost without a word, so a result counts only
// when the shared rules read the text the same way.
#include <windows.h>

#include <wincrypt.h>

#include <climits>

#include "common/base64.h"

Bytes base64Decode(std::string_view text) {
  if (text.empty() || text.size() > UINT_MAX) return {};
  const auto length = static_cast<DWORD>(text.size());
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)) {
    return {};
  }
  Bytes out(size, '\0');
  if (!::CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(out.data()), &size,
                              nullptr, nullptr)) {
    return {};
  }
  out.resize(size);
  return out == decodeBase64Strictly(text) ? out : Bytes();
}
