// AES-256-GCM records with CNG. A key holds two key objects made from the same bytes, one for
// sealing and one for opening, each used by one call at a time; a record passes only its
// nonce, associated data and tag (no chaining between records).
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "common/crypto.h"
#include "platform/win32/common/Cng.h"

namespace {

void putBigEndian(std::uint32_t v, unsigned char* p) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

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

namespace {

// Writes the record at `record` from the n plaintext bytes at `plain`, which may be the record's
// own ciphertext room (record + 16): CNG encrypts in place when input and output are one buffer.
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
  auto info = modeInfo(nonce, std::string_view(reinterpret_cast<const char*>(aad), sizeof aad), tag);
  ULONG written = 0;
  std::lock_guard guard(impl.sealLock);
  return cngOk(::BCryptEncrypt(impl.seal.get(), const_cast<PUCHAR>(plain), static_cast<ULONG>(n), &info, nullptr, 0,
                               cipher, static_cast<ULONG>(n), &written, 0)) &&
         written == n;
}

}  // namespace

bool sealRecordInto(const GcmKey& key, std::uint32_t index, std::string_view plaintext, Bytes& out) {
  GcmKey::Impl* impl = key.impl();
  if (!impl || plaintext.empty() || plaintext.size() > kMaxRecordPlain) return false;
  const std::size_t n = plaintext.size();
  const std::size_t start = out.size();
  out.resize(start + 4 + kRecordOverhead + n);
  auto* record = reinterpret_cast<unsigned char*>(out.data()) + start;
  const bool ok = sealAt(*impl, index, reinterpret_cast<const unsigned char*>(plaintext.data()), n, record);
  if (!ok) out.resize(start);
  return ok;
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

bool openRecord(const GcmKey& key, std::uint32_t index, const unsigned char* nonce,
                const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
                unsigned char* plainOut) {
  unsigned char aad[4];
  putBigEndian(index, aad);
  return openGcm(key, nonce, std::string_view(reinterpret_cast<const char*>(aad), sizeof aad),
                 cipher, cipherLen, tag, plainOut);
}
