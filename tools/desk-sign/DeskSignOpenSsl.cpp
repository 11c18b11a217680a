// desk-sign's key operations through OpenSSL (Linux): PEM keys as OpenSSL reads and writes them.
#include "DeskSign.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace desksign {
namespace {

struct PkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct MdCtxFree { void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); } };
struct BnFree { void operator()(BIGNUM* p) const { BN_free(p); } };
struct SigFree { void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); } };
struct FileClose { void operator()(std::FILE* f) const { std::fclose(f); } };
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;
using Bn = std::unique_ptr<BIGNUM, BnFree>;
using Sig = std::unique_ptr<ECDSA_SIG, SigFree>;
using File = std::unique_ptr<std::FILE, FileClose>;

std::string hexOf(const unsigned char* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

// 32 big-endian bytes, as the shell builds its key and reads r and s.
std::optional<std::string> hex32(const BIGNUM* bn) {
  unsigned char buf[32];
  if (!bn || BN_bn2binpad(bn, buf, sizeof buf) != static_cast<int>(sizeof buf)) return std::nullopt;
  return hexOf(buf, sizeof buf);
}

bool isP256(EVP_PKEY* key) {
  char group[64] = {};
  std::size_t len = 0;
  return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC &&
         EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &len) == 1 &&
         std::string(group, len) == "prime256v1";
}

Pkey loadKey(const std::filesystem::path& keyFile, std::string& error) {
  File f(std::fopen(keyFile.c_str(), "rb"));
  if (!f) {
    error = "cannot open key file " + keyFile.string();
    return nullptr;
  }
  Pkey key(PEM_read_PrivateKey(f.get(), nullptr, nullptr, nullptr));
  if (!key) {
    error = "not a PEM private key: " + keyFile.string();
    return nullptr;
  }
  if (!isP256(key.get())) {
    error = "not a P-256 key: " + keyFile.string();
    return nullptr;
  }
  return key;
}

std::optional<PublicKeyHex> publicOf(EVP_PKEY* key, std::string& error) {
  BIGNUM* rawX = nullptr;
  BIGNUM* rawY = nullptr;
  const bool gotX = EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_X, &rawX) == 1;
  Bn x(rawX);
  const bool gotY = EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_Y, &rawY) == 1;
  Bn y(rawY);
  auto hx = gotX ? hex32(x.get()) : std::nullopt;
  auto hy = gotY ? hex32(y.get()) : std::nullopt;
  if (!hx || !hy) {
    error = "cannot read the public point";
    return std::nullopt;
  }
  return PublicKeyHex{*hx, *hy};
}

}  // namespace

std::optional<PublicKeyHex> generateKeyFile(const std::filesystem::path& keyFile, std::string& error) {
  Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!key) {
    error = "key generation failed";
    return std::nullopt;
  }
  auto pub = publicOf(key.get(), error);
  if (!pub) return std::nullopt;
  // Created private from the first byte on, and never over an existing key.
  const int fd = ::open(keyFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create " + keyFile.string() + " (it must not exist yet)";
    return std::nullopt;
  }
  ::fchmod(fd, 0600);  // whatever the umask said
  File f(::fdopen(fd, "wb"));
  if (!f) {
    ::close(fd);
    error = "cannot write " + keyFile.string();
    return std::nullopt;
  }
  const bool written = PEM_write_PrivateKey(f.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  const bool closed = std::fclose(f.release()) == 0;
  if (!written || !closed) {
    error = "cannot write " + keyFile.string();
    return std::nullopt;
  }
  return pub;
}

std::optional<PublicKeyHex> publicKeyOf(const std::filesystem::path& keyFile, std::string& error) {
  Pkey key = loadKey(keyFile, error);
  if (!key) return std::nullopt;
  return publicOf(key.get(), error);
}

std::optional<std::string> signMessage(const std::filesystem::path& keyFile, std::string_view message,
                                       std::string& error) {
  Pkey key = loadKey(keyFile, error);
  if (!key) return std::nullopt;
  MdCtx ctx(EVP_MD_CTX_new());
  std::size_t derLen = 0;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &derLen,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1) {
    error = "signing failed";
    return std::nullopt;
  }
  std::vector<unsigned char> der(derLen);
  if (EVP_DigestSign(ctx.get(), der.data(), &derLen,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1) {
    error = "signing failed";
    return std::nullopt;
  }
  const unsigned char* p = der.data();
  Sig sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(derLen)));
  if (!sig) {
    error = "signing failed";
    return std::nullopt;
  }
  auto r = hex32(ECDSA_SIG_get0_r(sig.get()));
  auto s = hex32(ECDSA_SIG_get0_s(sig.get()));
  if (!r || !s) {
    error = "signing failed";
    return std::nullopt;
  }
  return *r + *s;
}

std::optional<std::string> fileSha256(const std::filesystem::path& file, std::string& error) {
  std::ifstream in(file, std::ios::binary);
  MdCtx ctx(EVP_MD_CTX_new());
  if (!in || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
    error = "cannot read " + file.string();
    return std::nullopt;
  }
  std::vector<char> buf(65536);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    const auto got = in.gcount();
    if (got > 0 && EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<std::size_t>(got)) != 1) {
      error = "hashing failed";
      return std::nullopt;
    }
  }
  if (in.bad()) {
    error = "cannot read " + file.string();
    return std::nullopt;
  }
  unsigned char digest[32];
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &len) != 1 || len != sizeof digest) {
    error = "hashing failed";
    return std::nullopt;
  }
  return hexOf(digest, sizeof digest);
}

}  // namespace desksign
