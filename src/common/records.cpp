// The framing of LAN records around the platform's AES-256-GCM: the length, a fresh random
// nonce, and the record index as associated data. Kept in one place so every build writes and
// reads the same bytes.
#include <string>

#include "common/gcm.h"
#include "common/random.h"
#include "common/records.h"

namespace {

void putBigEndian(std::uint32_t v, unsigned char* p) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

std::string_view indexBytes(std::uint32_t index, unsigned char (&aad)[4]) {
  putBigEndian(index, aad);
  return std::string_view(reinterpret_cast<const char*>(aad), sizeof aad);
}

// Writes the record at `record` from the n plaintext bytes at `plain`, which may be the record's
// own ciphertext room (record + 16): GCM encrypts in place.
bool sealAt(const GcmKey& key, std::uint32_t index, const unsigned char* plain, std::size_t n,
            unsigned char* record) {
  if (n == 0 || n > kMaxRecordPlain) return false;
  unsigned char* nonce = record + 4;
  unsigned char* cipher = nonce + kGcmNonceBytes;
  putBigEndian(static_cast<std::uint32_t>(n + kRecordOverhead), record);
  // A fresh random nonce for every record, never derived from the index.
  if (!randomBytes(std::span<unsigned char>(nonce, kGcmNonceBytes))) return false;
  unsigned char aad[4];
  return sealGcm(key, nonce, indexBytes(index, aad), plain, n, cipher, cipher + n);
}

// Fills `size` more bytes of a string without first zeroing them: the cipher overwrites every
// byte, and zeroing a megabyte costs a measurable share of the cipher's own time.
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

bool sealRecordInto(const GcmKey& key, std::uint32_t index, std::string_view plaintext, Bytes& out) {
  if (!key.valid() || plaintext.empty() || plaintext.size() > kMaxRecordPlain) return false;
  const std::size_t n = plaintext.size();
  return appendUninitialized(out, 4 + kRecordOverhead + n, [&](unsigned char* record) {
    return sealAt(key, index, reinterpret_cast<const unsigned char*>(plaintext.data()), n, record);
  });
}

bool sealRecordInPlace(const GcmKey& key, std::uint32_t index, std::span<unsigned char> record) {
  if (!key.valid() || record.size() <= 4 + kRecordOverhead || record.size() > 4 + kRecordOverhead + kMaxRecordPlain) {
    return false;
  }
  const std::size_t n = record.size() - 4 - kRecordOverhead;
  return sealAt(key, index, record.data() + 4 + kGcmNonceBytes, n, record.data());
}

std::optional<Bytes> sealRecord(const GcmKey& key, std::uint32_t index, std::string_view plaintext) {
  Bytes record;
  if (!sealRecordInto(key, index, plaintext, record)) return std::nullopt;
  return record;
}

bool openRecord(const GcmKey& key, std::uint32_t index, const unsigned char* nonce,
                const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
                unsigned char* plainOut) {
  unsigned char aad[4];
  return openGcm(key, nonce, indexBytes(index, aad), cipher, cipherLen, tag, plainOut);
}
