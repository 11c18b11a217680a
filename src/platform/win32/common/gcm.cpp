// AES-256-GCM with CNG, under the record framing of common/records.cpp. A key holds two key
// objects made from the same bytes, one for sealing and one for opening, each used by one call
// at a time; a call passes only its nonce, associated data and tag (no chaining between calls).
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "common/gcm.h"
#include "common/hex.h"
#include "platform/win32/common/Cng.h"

namespace {

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO modeInfo(const unsigned char* nonce, std::string_view associated,
                                               unsigned char* tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = const_cast<PUCHAR>(nonce);
  info.cbNonce = static_cast<ULONG>(kGcmNonceBytes);
  info.pbAuthData = associated.empty() ? nullptr
                                       : reinterpret_cast<PUCHAR>(const_cast<char*>(associated.data()));
  info.cbAuthData = static_cast<ULONG>(associated.size());
  info.pbTag = tag;
  info.cbTag = static_cast<ULONG>(kGcmTagBytes);
  return info;
}

CngKey symmetricKey(BCRYPT_ALG_HANDLE algorithm, const Bytes& raw) {
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!cngOk(::BCryptGenerateSymmetricKey(algorithm, &key, nullptr, 0,
                                          reinterpret_cast<PUCHAR>(const_cast<char*>(raw.data())),
                                          static_cast<ULONG>(raw.size()), 0))) {
    return nullptr;
  }
  return CngKey(key);
}

}  // namespace

struct GcmKey::Impl {
  CngAlgorithm algorithm;  // outlives the keys made from it (members are destroyed in reverse)
  std::mutex sealLock;
  CngKey seal;
  std::mutex openLock;
  CngKey open;
};

GcmKey::GcmKey() = default;
GcmKey::~GcmKey() = default;
GcmKey::GcmKey(GcmKey&&) noexcept = default;
GcmKey& GcmKey::operator=(GcmKey&&) noexcept = default;

std::optional<GcmKey> openGcmKey(std::string_view keyHex) {
  const Bytes raw = hexDecode(keyHex);
  if (raw.size() != 32) return std::nullopt;
  auto impl = std::make_unique<GcmKey::Impl>();
  impl->algorithm = openCngAlgorithm(BCRYPT_AES_ALGORITHM);
  if (!impl->algorithm) return std::nullopt;
  // The property value is the mode's name with its terminator, 32 bytes.
  if (!cngOk(::BCryptSetProperty(impl->algorithm.get(), BCRYPT_CHAINING_MODE,
                                 reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                                 sizeof(BCRYPT_CHAIN_MODE_GCM), 0))) {
    return std::nullopt;
  }
  impl->seal = symmetricKey(impl->algorithm.get(), raw);
  impl->open = symmetricKey(impl->algorithm.get(), raw);
  if (!impl->seal || !impl->open) return std::nullopt;
  GcmKey key;
  key.impl_ = std::move(impl);
  return key;
}

bool sealGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* plain, std::size_t n, unsigned char* cipherOut, unsigned char* tagOut) {
  GcmKey::Impl* impl = key.impl();
  if (!impl || n > ULONG_MAX || associated.size() > ULONG_MAX) return false;
  auto info = modeInfo(nonce, associated, tagOut);
  ULONG written = 0;
  std::lock_guard guard(impl->sealLock);
  // CNG encrypts in place when input and output are one buffer.
  return cngOk(::BCryptEncrypt(impl->seal.get(), const_cast<PUCHAR>(plain), static_cast<ULONG>(n), &info, nullptr, 0,
                               cipherOut, static_cast<ULONG>(n), &written, 0)) &&
         written == n;
}

bool openGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
             unsigned char* plainOut) {
  GcmKey::Impl* impl = key.impl();
  if (!impl || cipherLen > ULONG_MAX || associated.size() > ULONG_MAX) return false;
  // CNG reads the expected tag from the mode information; it is not changed.
  unsigned char tagCopy[kGcmTagBytes];
  std::copy(tag, tag + kGcmTagBytes, tagCopy);
  auto info = modeInfo(nonce, associated, tagCopy);
  ULONG written = 0;
  std::lock_guard guard(impl->openLock);
  // A wrong tag fails the call; plainOut then holds bytes the callers never use.
  return cngOk(::BCryptDecrypt(impl->open.get(), const_cast<PUCHAR>(cipher), static_cast<ULONG>(cipherLen), &info,
                               nullptr, 0, plainOut, static_cast<ULONG>(cipherLen), &written, 0)) &&
         written == cipherLen;
}
