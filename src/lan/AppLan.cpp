// The page's LAN messages: checked here on the main thread and handed to the registry, the
// server, or the fetch, push, sink and probe workers.
#include <filesystem>
#include <system_error>

#include "app/App.h"
#include "common/base64.h"
#include "lan/LanAddresses.h"
#include "lan/LanWorkers.h"
#include "lan/LanProtocol.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "lan/TransferSocketTable.h"
#include "web/Callbacks.h"

namespace {

Json addressList() {
  Json list = Json::array();
  for (const auto& a : localLanAddresses()) list.push_back(a);
  return list;
}

// A native offer needs a 64-character key and an existing regular file of exactly srcSize bytes.
bool qualifiesAsNative(const std::string& key, std::uint64_t srcSize, const std::filesystem::path& path) {
  if (key.size() != 64 || srcSize == 0 || path.empty()) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const auto size = std::filesystem::file_size(path, ec);
  return !ec && size == srcSize;
}

void lanOpen(App& app, const std::string& id, const Json& message) {
  LanServer& server = lanServerWithScripts(app);
  server.addOffer(id, jsonUnsigned(message, "size").value_or(0));
  const std::uint16_t port = server.ensureStarted();
  const std::string key = jsonString(message, "key").value_or("");
  const std::filesystem::path path = widePath(toWide(jsonString(message, "_path").value_or("")));
  std::uint64_t srcSize = 0;
  if (const Json* src = jsonObject(message, "src")) srcSize = jsonUnsigned(*src, "size").value_or(0);
  const bool native = qualifiesAsNative(key, srcSize, path);
  if (native) server.addNativeOffer({id, path, key, srcSize});
  Json ready = Json::object();
  ready["addrs"] = addressList();
  ready["native"] = native;
  ready["port"] = port;
  app.runScript(lanReadyScript(id, ready));
}

void lanSink(App& app, const std::string& id) {
  LanServer& server = lanServerWithScripts(app);
  server.addSink(id);
  const std::uint16_t port = server.ensureStarted();
  Json ready = Json::object();
  ready["addrs"] = addressList();
  ready["port"] = port;
  app.runScript(lanSinkReadyScript(id, ready));
}

}  // namespace

std::vector<std::string> keptProbeUrls(const Json& urls) {
  std::vector<std::string> kept;
  if (!urls.is_array()) return kept;
  for (const auto& u : urls) {
    if (kept.size() >= kLanProbeLimit) break;
    if (u.is_string() && isPeerUrl(u.get<std::string>())) kept.push_back(u.get<std::string>());
  }
  return kept;
}

void App::lanMessage(const std::string& type, const Json& message) {
  const std::string id = jsonString(message, "id").value_or("");
  if (type == "lanGetCancel") {
    const std::string lid = jsonString(message, "lid").value_or("");
    if (!isLanId(lid)) return;
    transferSockets()->cancelTransfer(lid);
    cancelPendingSink(*this, lid);
    return;
  }
  if (type == "lanSinkGet") {
    lanSinkGet(message);
    return;
  }
  if (type == "lanGet") {
    lanGet(message);
    return;
  }
  if (!isLanId(id)) return;
  LanServer& server = lanRuntimeOf(*this).server();
  if (type == "lanOpen") {
    lanOpen(*this, id, message);
  } else if (type == "lanChunk") {
    Bytes bytes = base64Decode(jsonString(message, "data").value_or(""));
    if (bytes.empty()) {
      runScript(lanAckScript(id, false));
    } else {
      server.deliverChunk(id, std::move(bytes), false);
    }
  } else if (type == "lanFinish") {
    server.deliverChunk(id, std::string(), true);
  } else if (type == "lanCancel") {
    server.cancelOffer(id);
  } else if (type == "lanPush") {
    const std::string url = jsonString(message, "url").value_or("");
    if (isPeerUrl(url)) startLanPush(*this, id, url, jsonUnsigned(message, "from").value_or(0));
  } else if (type == "lanSinkClose") {
    server.removeSink(id);
  } else if (type == "lanSink") {
    lanSink(*this, id);
  } else if (type == "lanProbe") {
    if (const Json* urls = jsonArray(message, "urls")) startLanProbe(*this, id, keptProbeUrls(*urls));
  }
}
