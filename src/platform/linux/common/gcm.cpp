// AES-256-GCM through OpenSSL's EVP ciphers, under the record framing of common/records.cpp. A key
// keeps one cipher context for sealing and one for opening, each set up with the key once; a call
// only sets its nonce, so sealing and opening cost what the cipher costs.
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>

#include "common/gcm.h"
#include "common/hex.h"

namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

}  // namespace

struct GcmKey::Impl {
  // A key may be shared between threads; each context serves one call at a time.
  std::mutex sealLock;
  CipherCtx seal;
  std::mutex openLock;
  CipherCtx open;
};

GcmKey::GcmKey() = default;
GcmKey::~GcmKey() = default;
GcmKey::GcmKey(GcmKey&&) noexcept = default;
GcmKey& GcmKey::operator=(GcmKey&&) noexcept = default;

std::optional<GcmKey> openGcmKey(std::string_view keyHex) {
  const Bytes raw = hexDecode(keyHex);
  if (raw.size() != 32) return std::nullopt;
  const auto* keyBytes = reinterpret_cast<const unsigned char*>(raw.data());
  auto impl = std::make_unique<GcmKey::Impl>();
  impl->seal.reset(EVP_CIPHER_CTX_new());
  impl->open.reset(EVP_CIPHER_CTX_new());
  if (!impl->seal || !impl->open ||
      EVP_EncryptInit_ex(impl->seal.get(), EVP_aes_256_gcm(), nullptr, keyBytes, nullptr) != 1 ||
      EVP_DecryptInit_ex(impl->open.get(), EVP_aes_256_gcm(), nullptr, keyBytes, nullptr) != 1) {
    return std::nullopt;
  }
  // The default nonce length of GCM in OpenSSL is 12 bytes, but say so rather than rely on it.
  if (EVP_CIPHER_CTX_ctrl(impl->seal.get(), EVP_CTRL_GCM_SET_IVLEN, kGcmNonceBytes, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(impl->open.get(), EVP_CTRL_GCM_SET_IVLEN, kGcmNonceBytes, nullptr) != 1) {
    return std::nullopt;
  }
  GcmKey key;
  key.impl_ = std::move(impl);
  return key;
}

bool sealGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* plain, std::size_t n, unsigned char* cipherOut, unsigned char* tagOut) {
  GcmKey::Impl* impl = key.impl();
  if (!impl || n > INT_MAX || associated.size() > INT_MAX) return false;
  int len = 0;
  int tail = 0;
  std::lock_guard guard(impl->sealLock);
  EVP_CIPHER_CTX* ctx = impl->seal.get();
  if (EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce) != 1) return false;
  if (!associated.empty() &&
      EVP_EncryptUpdate(ctx, nullptr, &len, reinterpret_cast<const unsigned char*>(associated.data()),
                        static_cast<int>(associated.size())) != 1) {
    return false;
  }
  len = 0;
  if (n > 0 && EVP_EncryptUpdate(ctx, cipherOut, &len, plain, static_cast<int>(n)) != 1) return false;
  unsigned char none[1];
  if (EVP_EncryptFinal_ex(ctx, n > 0 ? cipherOut + len : none, &tail) != 1 ||
      static_cast<std::size_t>(len) + static_cast<std::size_t>(tail) != n) {
    return false;
  }
  return EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kGcmTagBytes, tagOut) == 1;
}

bool openGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
             unsigned char* plainOut) {
  GcmKey::Impl* impl = key.impl();
  if (!impl || cipherLen > INT_MAX || associated.size() > INT_MAX) return false;
  std::lock_guard guard(impl->openLock);
  EVP_CIPHER_CTX* ctx = impl->open.get();
  unsigned char tagCopy[kGcmTagBytes];
  std::copy(tag, tag + kGcmTagBytes, tagCopy);
  int len = 0;
  if (EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce) != 1) return false;
  if (!associated.empty() &&
      EVP_DecryptUpdate(ctx, nullptr, &len, reinterpret_cast<const unsigned char*>(associated.data()),
                        static_cast<int>(associated.size())) != 1) {
    return false;
  }
  len = 0;
  if (cipherLen > 0 &&
      EVP_DecryptUpdate(ctx, plainOut, &len, cipher, static_cast<int>(cipherLen)) != 1) {
    return false;
  }
  if (EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, kGcmTagBytes, tagCopy) != 1) return false;
  // The tag is checked here; after a false, plainOut holds unauthenticated bytes that the
  // callers never use.
  int tail = 0;
  unsigned char none[1];
  return EVP_DecryptFinal_ex(ctx, cipherLen > 0 ? plainOut + len : none, &tail) == 1 && tail == 0;
}
