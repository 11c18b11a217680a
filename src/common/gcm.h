#pragma once
// AES-256-GCM, which each platform provides; the LAN records (common/records.h) are built on it.
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

inline constexpr std::size_t kGcmNonceBytes = 12;
inline constexpr std::size_t kGcmTagBytes = 16;

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

// sealGcm encrypts n bytes from `plain` to `cipherOut` (which may be `plain`: in place) and
// writes the 16-byte tag. openGcm is the general form of openRecord: any associated data
// (openRecord's is the index as 4 bytes big-endian). Also what the published AES-GCM test
// vectors check.
bool sealGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* plain, std::size_t n, unsigned char* cipherOut, unsigned char* tagOut);
bool openGcm(const GcmKey& key, const unsigned char* nonce, std::string_view associated,
             const unsigned char* cipher, std::size_t cipherLen, const unsigned char* tag,
             unsigned char* plainOut);
