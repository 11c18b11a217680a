// SHA-256 of memory and of files on CNG's SHA-256 pseudo-handle.
#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "common/hex.h"
#include "common/sha256.h"
#include "platform/win32/common/Cng.h"
#include "platform/win32/common/UniqueHandle.h"

namespace {

constexpr DWORD kChunk = 65536;

std::string finish(BCRYPT_HASH_HANDLE hash) {
  unsigned char digest[32];
  if (!cngOk(::BCryptFinishHash(hash, digest, sizeof digest, 0))) return {};
  return hexEncode(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

CngHash newHash() {
  BCRYPT_HASH_HANDLE handle = nullptr;
  if (!cngOk(::BCryptCreateHash(BCRYPT_SHA256_ALG_HANDLE, &handle, nullptr, 0, nullptr, 0, 0))) return nullptr;
  return CngHash(handle);
}

bool update(BCRYPT_HASH_HANDLE hash, const void* data, std::size_t size) {
  // BCryptHashData counts in ULONG: feed larger inputs in pieces.
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
    if (!cngOk(::BCryptHashData(hash, const_cast<PUCHAR>(p), piece, 0))) return false;
    p += piece;
    size -= piece;
  }
  return true;
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
  const CngHash hash = newHash();
  if (!hash || !update(hash.get(), bytes.data(), bytes.size())) return {};
  return finish(hash.get());
}

std::string sha256FileHex(const std::filesystem::path& path) {
  const CngHash hash = newHash();
  if (!hash) return {};
  const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return {};
  std::vector<unsigned char> buffer(kChunk);
  for (;;) {
    DWORD n = 0;
    // A read error is a failure, not the end of the file: the hash of a prefix would be
    // reported as the file's own.
    if (!::ReadFile(file.get(), buffer.data(), kChunk, &n, nullptr)) return {};
    if (n == 0) break;
    if (!update(hash.get(), buffer.data(), n)) return {};
  }
  return finish(hash.get());
}
