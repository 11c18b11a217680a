#pragma once
// The AES-256-GCM records of LAN transfers. A record is: length L (4 bytes big-endian, counting
// nonce + ciphertext + tag), a fresh random 12-byte nonce, the ciphertext (as long as the
// plaintext) and a 16-byte tag; the record index, 4 bytes big-endian, is the associated data,
// so reordering fails the tag.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/bytes.h"
#include "common/gcm.h"

inline constexpr std::size_t kRecordOverhead = kGcmNonceBytes + kGcmTagBytes;  // 28
inline constexpr std::size_t kMaxRecordPlain = 1048576;
inline constexpr std::uint32_t kMinRecordLength = 29;
inline constexpr std::uint32_t kMaxRecordLength = kMaxRecordPlain + kRecordOverhead;  // 1,048,604

// One whole record (length + nonce + ciphertext + tag); nullopt on failure or a plaintext
// outside 1..1,048,576 bytes.
std::optional<Bytes> sealRecord(const GcmKey& key, std::uint32_t index, std::string_view plaintext);
// Appends the record to `out` instead of returning it (no allocation when `out` has room).
bool sealRecordInto(const GcmKey& key, std::uint32_t index, std::string_view plaintext, Bytes& out);
// Seals where the bytes lie: `record` is one whole record's room, and its plaintext already sits
// after the 16 bytes of length and nonce (record.size() - 32 bytes of it). The ciphertext takes
// the plaintext's place, with the length and nonce before it and the tag after it.
bool sealRecordInPlace(const GcmKey& key, std::uint32_t index, std::span<unsigned char> record);

// Opens one record body: nonce, ciphertext (length cipherLen), tag; writes cipherLen bytes to
// plainOut. False on any failure, a wrong tag included.
bool openRecord(const GcmKey& key, std::uint32_t index, const unsigned char* nonce,
                const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
                unsigned char* plainOut);
