#pragma once
// Hashing, the update signature check, and the AES-256-GCM records of LAN transfers.
// A record is: length L (4 bytes big-endian, counting nonce + ciphertext + tag), a fresh
// random 12-byte nonce, the ciphertext (as long as the plaintext) and a 16-byte tag; the
// record index, 4 bytes big-endian, is the associated data, so reordering fails the tag.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::size_t kGcmNonceBytes = 12;
inline constexpr std::size_t kGcmTagBytes = 16;
inline constexpr std::size_t kRecordOverhead = kGcmNonceBytes + kGcmTagBytes;  // 28
inline constexpr std::size_t kMaxRecordPlain = 1048576;
inline constexpr std::uint32_t kMinRecordLength = 29;
inline constexpr std::uint32_t kMaxRecordLength = kMaxRecordPlain + kRecordOverhead;  // 1,048,604

using Bytes = std::string;  // raw bytes travel in std::string, as the JSON and socket code does

Bytes hexDecode(std::string_view text);  // empty when odd length or not hexadecimal
std::string hexEncode(std::string_view bytes);  // lower case
std::string sha256FileHex(const std::filesystem::path& path);  // empty on any failure
std::string sha256Hex(std::string_view bytes);

// r||s as 128 hex digits (either case) over SHA-256(message), against the built-in key.
bool verifyUpdateSignature(std::string_view message, std::string_view signatureHex);
// Same check against an explicit key (tests, tools).
bool verifySignatureWithKey(std::string_view message, std::string_view signatureHex,
                            std::string_view keyXHex, std::string_view keyYHex);
// The built-in public key, as 64-digit hex each.
std::string_view updateKeyX();
std::string_view updateKeyY();

// Standard alphabet with padding; line breaks and spaces between groups are tolerated.
Bytes base64Decode(std::string_view text);
// The rules above on their own (common/base64.cpp), which every backend's decoder keeps.
Bytes decodeBase64Strictly(std::string_view text);

bool randomBytes(std::span<unsigned char> out);

// An AES-256-GCM key prepared once per transfer. Move-only; releases its platform state.
class GcmKey {
 public:
  GcmKey();
  ~GcmKey();
  GcmKey(GcmKey&&) noexcept;
  GcmKey& operator=(GcmKey&&) noexcept;
  GcmKey(const GcmKey&) = delete;
  GcmKey& operator=(const GcmKey&) = delete;
  bool valid() const { return impl_ != nullptr; }

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  friend std::optional<GcmKey> openGcmKey(std::string_view keyHex);
  std::unique_ptr<Impl> impl_;
};

std::optional<GcmKey> openGcmKey(std::string_view keyHex);  // exactly 32 bytes of hex

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
// The cipher itself, which each platform provides; the record framing above is built on it.
// sealGcm encrypts n bytes from `plain` to `cipherOut` (which may be `plain`: in place) and
// writes the 16-byte tag. openGcm is the general form of openRecord: any associated data
// (openRecord's is the index as 4 bytes big-endian). Also what the published AES-GCM test
// vectors check.
bool sealGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* plain, std::size_t n, unsigned char* cipherOut, unsigned char* tagOut);
bool openGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
             unsigned char* plainOut);
