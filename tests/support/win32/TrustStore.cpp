// The Windows side of the tests' extra trust anchor: the test's own throw-away certificate goes
// into the current user's Root store of the Wine prefix made for this run (WinHTTP checks
// certificates against the system stores only). The shell itself never changes trust.
#include <windows.h>

#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/http.h"

void httpTrustExtraCertificateForTests(const std::filesystem::path& pemFile) {
  std::ifstream in(pemFile, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (pem.empty() || !::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                             nullptr, &size, nullptr, nullptr)) {
    return;
  }
  std::vector<BYTE> der(size);
  if (!::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr)) {
    return;
  }
  HCERTSTORE root = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
  if (!root) return;
  ::CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING,
                                     nullptr);
  ::CertCloseStore(root, 0);
}
