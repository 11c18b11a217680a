// AES-256-GCM records through OpenSSL's EVP ciphers. A key keeps one cipher context for
// sealing and one for opening, each set up with the key once; a record only sets its nonce,
// so sealing and opening cost what the cipher costs.
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>

#include "common/crypto.h"

namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

void putBigEndian(std::uint32_t v, unsigned char* p) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

// Fills a string of `size` bytes without first zeroing it: the cipher overwrites every byte,
// and zeroing a megabyte costs a measurable share of the cipher's own time.
template <typename Fill>
bool appendUninitialized(Bytes& out, std::size_t size, Fill fill) {
  const std::size_t start = out.size();
  bool ok = false;
#if defined(__cpp_lib_string_resize_and_overwrite)
  out.resize_and_overwrite(start + size, [&](char* data, std::size_t n) {
    ok = fill(reinterpret_cast<unsigned char*>(data) + start);
    return ok ? n : start;
  });
#else
  out.resize(start + size);
  ok = fill(reinterpret_cast<unsigned char*>(out.data()) + start);
  if (!ok) out.resize(start);
#endif
  return ok;
}

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

namespace {

// Writes the record at `record` from the n plaintext bytes at `plain`, which may be the record's
// own ciphertext room (record + 16): GCM encrypts in place.
bool sealAt(GcmKey::Impl& impl, std::uint32_t index, const unsigned char* plain, std::size_t n,
            unsigned char* record) {
  unsigned char* nonce = record + 4;
  unsigned char* cipher = nonce + kGcmNonceBytes;
  unsigned char* tag = cipher + n;
  putBigEndian(static_cast<std::uint32_t>(n + kRecordOverhead), record);
  // A fresh random nonce for every record, never derived from the index.
  if (!randomBytes(std::span<unsigned char>(nonce, kGcmNonceBytes))) return false;
  unsigned char aad[4];
  putBigEndian(index, aad);
  int len = 0;
  int tail = 0;
  std::lock_guard guard(impl.sealLock);
  EVP_CIPHER_CTX* ctx = impl.seal.get();
  if (EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce) != 1 ||
      EVP_EncryptUpdate(ctx, nullptr, &len, aad, sizeof aad) != 1 ||
      EVP_EncryptUpdate(ctx, cipher, &len, plain, static_cast<int>(n)) != 1 ||
      EVP_EncryptFinal_ex(ctx, cipher + len, &tail) != 1 ||
      static_cast<std::size_t>(len) + static_cast<std::size_t>(tail) != n) {
    return false;
  }
  return EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kGcmTagBytes, tag) == 1;
}

}  // namespace

bool sealRecordInto(const GcmKey& key, std::uint32_t index, std::string_view plaintext, Bytes& out) {
  GcmKey::Impl* impl = key.impl();
  if (!impl || plaintext.empty() || plaintext.size() > kMaxRecordPlain) return false;
  const std::size_t n = plaintext.size();
  return appendUninitialized(out, 4 + kRecordOverhead + n, [&](unsigned char* record) {
    return sealAt(*impl, index, reinterpret_cast<const unsigned char*>(plaintext.data()), n, record);
  });
}

bool sealRecordInPlace(const GcmKey& key, std::uint32_t index, std::span<unsigned char> record) {
  GcmKey::Impl* impl = key.impl();
  if (!impl || record.size() <= 4 + kRecordOverhead || record.size() > 4 + kRecordOverhead + kMaxRecordPlain) {
    return false;
  }
  const std::size_t n = record.size() - 4 - kRecordOverhead;
  return sealAt(*impl, index, record.data() + 4 + kGcmNonceBytes, n, record.data());
}

std::optional<Bytes> sealRecord(const GcmKey& key, std::uint32_t index, std::string_view plaintext) {
  Bytes record;
  if (!sealRecordInto(key, index, plaintext, record)) return std::nullopt;
  return record;
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

bool openRecord(const GcmKey& key, std::uint32_t index, const unsigned char* nonce,
                const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
                unsigned char* plainOut) {
  unsigned char aad[4];
  putBigEndian(index, aad);
  return openGcm(key, nonce, std::string_view(reinterpret_cast<const char*>(aad), sizeof aad),
                 cipher, cipherLen, tag, plainOut);
}
