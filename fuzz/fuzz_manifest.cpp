// Arbitrary text as an update manifest: reading it and building the signed bytes never crash,
// and nothing is accepted that the release key did not sign.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/UpdateKey.h"
#include "common/json.h"
#include "update/UpdateManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Json parsed = parseJson(text);
  const UpdateManifest m = readManifest(parsed);
  const std::string message = signedUpdateMessage(m);
  if (message.rfind("desk-update\n", 0) != 0) std::abort();
  compareVersions(m.version, "1.3.0");

  if (judgeManifest(m) != ManifestVerdict::Accepted) return 0;
  // Accepted: then it is newer, safe to name a file after, and signed over exactly these bytes;
  // the same signature over any other size must fail.
  if (!isSafeVersion(m.version) || compareVersions(m.version, "1.3.0") <= 0) std::abort();
  if (m.size < 1 || m.size > kInstallerMaxBytes || m.sha256.size() != 64) std::abort();
  if (!verifyUpdateSignature(message, m.sig)) std::abort();
  UpdateManifest other = m;
  other.size += 1;
  if (verifyUpdateSignature(signedUpdateMessage(other), m.sig)) std::abort();
  return 0;
}
