#include "PageChannel.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "common/json.h"

std::string newPageToken() {
  static const char digits[] = "0123456789abcdef";
  unsigned char bytes[16] = {};
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return {};  // no token: every message is refused rather than guessable
    got += static_cast<std::size_t>(n);
  }
  std::string token;
  for (unsigned char b : bytes) {
    token += digits[b >> 4];
    token += digits[b & 15];
  }
  return token;
}

BridgeFlavor linuxBridgeFlavor(const std::string& token) {
  BridgeFlavor flavor;
  // The real handler and the token live only in the bridge's closure. window.webkit is then
  // shadowed by a writable own property, so the bridge's assignment takes effect.
  flavor.prelude =
      "var deskPost = null; var deskToken = '" + token + "';"
      "try { var deskHandler = window.webkit.messageHandlers." + std::string(kPageHandlerName) + ";"
      " deskPost = deskHandler.postMessage.bind(deskHandler); } catch (e) {}"
      "try { Object.defineProperty(window, 'webkit', { value: undefined, writable: true, configurable: true }); }"
      " catch (e) {}"
      "var deskEnvelope = function (m, f) { var e = { k: deskToken, m: JSON.stringify(m) };"
      " if (f) e.f = f; return JSON.stringify(e); };";
  flavor.sendExpression = "deskPost && deskPost(deskEnvelope(m))";
  flavor.sendWithFile =
      "deskPost && deskPost(deskEnvelope(copy, { name: String(file.name), size: Number(file.size),"
      " lastModified: Number(file.lastModified) }));";
  flavor.platformObject = "{ platform: 'linux', native: true }";
  return flavor;
}

std::optional<PageMessage> openEnvelope(const std::string& envelope, const std::string& token) {
  const Json parsed = parseJson(envelope);
  if (!parsed.is_object() || token.empty()) return std::nullopt;
  const auto key = jsonString(parsed, "k");
  if (!key || key->size() != token.size()) return std::nullopt;
  // Compared in full whatever the first difference, so timing tells a page nothing.
  unsigned char difference = 0;
  for (std::size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>((*key)[i] ^ token[i]);
  if (difference != 0) return std::nullopt;
  PageMessage message;
  message.json = jsonString(parsed, "m").value_or("null");
  if (const Json* file = jsonObject(parsed, "f")) {
    const auto name = jsonString(*file, "name");
    const auto size = jsonNumber(*file, "size");
    const auto modified = jsonNumber(*file, "lastModified");
    if (name && size && modified && std::isfinite(*size) && *size >= 0 && std::isfinite(*modified)) {
      message.file = FileDescription{*name, static_cast<std::uint64_t>(*size), static_cast<std::int64_t>(*modified)};
    }
  }
  return message;
}

void HandedFiles::remember(const std::filesystem::path& file) {
  if (std::find(files_.begin(), files_.end(), file) == files_.end()) files_.push_back(file);
}

std::optional<std::filesystem::path> HandedFiles::match(const FileDescription& description) const {
  for (const auto& file : files_) {
    if (file.filename().string() != description.name) continue;
    struct stat info {};
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (static_cast<std::uint64_t>(info.st_size) != description.size) continue;
    const std::int64_t seconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    const std::int64_t modifiedMs = seconds * 1000 + info.st_mtim.tv_nsec / 1000000;
    // The engine may round the time where this floors it; WebKitGTK gives whole seconds.
    if (std::llabs(modifiedMs - description.lastModifiedMs) > 1 && description.lastModifiedMs != seconds * 1000) continue;
    return file;
  }
  return std::nullopt;
}
