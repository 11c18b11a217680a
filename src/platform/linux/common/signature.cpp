// ECDSA P-256 verification of r||s signatures over SHA-256, through OpenSSL's EVP keys.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <memory>

#include "common/hex.h"
#include "common/signature.h"

namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using SigPtr = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using ParamBldPtr = std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD_free>>;
using ParamPtr = std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM_free>>;

constexpr std::size_t kCoordBytes = 32;

// The uncompressed point 04 || X || Y as a P-256 public key; the import checks the curve.
PkeyPtr publicKey(const Bytes& x, const Bytes& y) {
  unsigned char point[1 + 2 * kCoordBytes];
  point[0] = 0x04;
  std::copy(x.begin(), x.end(), point + 1);
  std::copy(y.begin(), y.end(), point + 1 + kCoordBytes);
  ParamBldPtr bld(OSSL_PARAM_BLD_new());
  if (!bld ||
      OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) != 1 ||
      OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point) != 1) {
    return nullptr;
  }
  ParamPtr params(OSSL_PARAM_BLD_to_param(bld.get()));
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return nullptr;
  EVP_PKEY* raw = nullptr;
  if (EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) return nullptr;
  PkeyPtr key(raw);
  // fromdata takes the point as given; make sure it really lies on the curve.
  PkeyCtxPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  if (!check || EVP_PKEY_public_check(check.get()) != 1) return nullptr;
  return key;
}

// r||s (32 bytes each, big-endian) as the DER structure OpenSSL verifies.
std::string derSignature(const Bytes& rs) {
  const auto* p = reinterpret_cast<const unsigned char*>(rs.data());
  BnPtr r(BN_bin2bn(p, kCoordBytes, nullptr));
  BnPtr s(BN_bin2bn(p + kCoordBytes, kCoordBytes, nullptr));
  SigPtr sig(ECDSA_SIG_new());
  if (!r || !s || !sig || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) return {};
  r.release();  // owned by sig now
  s.release();
  unsigned char* der = nullptr;
  const int len = i2d_ECDSA_SIG(sig.get(), &der);
  if (len <= 0) return {};
  std::string out(reinterpret_cast<const char*>(der), static_cast<std::size_t>(len));
  OPENSSL_free(der);
  return out;
}

}  // namespace

bool verifySignatureWithKey(std::string_view message, std::string_view signatureHex,
                            std::string_view keyXHex, std::string_view keyYHex) {
  const Bytes x = hexDecode(keyXHex);
  const Bytes y = hexDecode(keyYHex);
  if (x.size() != kCoordBytes || y.size() != kCoordBytes) return false;
  const Bytes rs = hexDecode(signatureHex);
  if (rs.size() != 2 * kCoordBytes) return false;

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLen = 0;
  if (EVP_Digest(message.data(), message.size(), digest, &digestLen, EVP_sha256(), nullptr) != 1) {
    return false;
  }
  const PkeyPtr key = publicKey(x, y);
  if (!key) return false;
  const std::string der = derSignature(rs);
  if (der.empty()) return false;
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1) return false;
  return EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(),
                         digest, digestLen) == 1;
}
