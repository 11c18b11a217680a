// SHA-256 of memory and of files through OpenSSL's EVP digests.
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "common/hex.h"
#include "common/sha256.h"
#include "platform/linux/common/UniqueFd.h"

namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;


constexpr std::size_t kChunk = 65536;

std::string finish(EVP_MD_CTX* ctx) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(ctx, digest, &size) != 1 || size != 32) return {};
  return hexEncode(std::string_view(reinterpret_cast<const char*>(digest), size));
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
  MdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1) {
    return {};
  }
  return finish(ctx.get());
}

std::string sha256FileHex(const std::filesystem::path& path) {
  MdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return {};
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return {};
  std::vector<unsigned char> buffer(kChunk);
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      // A read error is a failure, not the end of the file: the hash of a prefix would be
      // reported as the file's own.
      return {};
    }
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<std::size_t>(n)) != 1) return {};
  }
  return finish(ctx.get());
}
