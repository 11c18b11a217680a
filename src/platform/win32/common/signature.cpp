// ECDSA P-256 verification of r||s signatures over SHA-256 with CNG. The public point is
// imported as an ECCPUBLICBLOB: the magic "ECS1", the coordinate length 32, then X and Y.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/hex.h"
#include "common/signature.h"
#include "platform/win32/common/Cng.h"

namespace {

constexpr std::size_t kCoordBytes = 32;

CngKey importPublicKey(BCRYPT_ALG_HANDLE algorithm, const Bytes& x, const Bytes& y) {
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordBytes];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(kCoordBytes)};
  std::memcpy(blob, &header, sizeof header);
  std::copy(x.begin(), x.end(), blob + sizeof header);
  std::copy(y.begin(), y.end(), blob + sizeof header + kCoordBytes);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!cngOk(::BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob, sizeof blob, 0))) {
    return nullptr;
  }
  return CngKey(key);
}

}  // namespace

bool verifySignatureWithKey(std::string_view message, std::string_view signatureHex,
                            std::string_view keyXHex, std::string_view keyYHex) {
  const Bytes x = hexDecode(keyXHex);
  const Bytes y = hexDecode(keyYHex);
  if (x.size() != kCoordBytes || y.size() != kCoordBytes) return false;
  Bytes rs = hexDecode(signatureHex);
  if (rs.size() != 2 * kCoordBytes) return false;

  // BCryptHash counts in ULONG; manifests are far smaller.
  if (message.size() > ULONG_MAX) return false;
  unsigned char digest[32];
  if (!cngOk(::BCryptHash(BCRYPT_SHA256_ALG_HANDLE, nullptr, 0,
                          reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                          static_cast<ULONG>(message.size()), digest, sizeof digest))) {
    return false;
  }

  const CngAlgorithm algorithm = openCngAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm) return false;
  const CngKey key = importPublicKey(algorithm.get(), x, y);
  if (!key) return false;
  return cngOk(::BCryptVerifySignature(key.get(), nullptr, digest, sizeof digest, reinterpret_cast<PUCHAR>(rs.data()),
                                       static_cast<ULONG>(rs.size()), 0));
}
