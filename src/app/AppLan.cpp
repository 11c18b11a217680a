// The page's LAN messages: read here on the main thread, one row of the catalogue each, and
// handed to the registry, the server, or the LAN runtime's receptions, pushes and probes.
#include "app/AppLan.h"

#include <filesystem>
#include <system_error>

#include "app/App.h"
#include "app/SavePlaces.h"
#include "common/base64.h"
#include "files/FileJob.h"
#include "lan/LanAddresses.h"
#include "lan/LanProtocol.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "lan/LanWorkers.h"
#include "lan/TransferSocketTable.h"
#include "web/Callbacks.h"

namespace {

std::string text(const Json& message, const char* key) { return jsonString(message, key).value_or(""); }

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

LanReceiveRequest receiveRequest(const Json& message) {
  return {text(message, "id"),  text(message, "how") == "open" ? "open" : "save",
          text(message, "name"), text(message, "key"),
          text(message, "dir"),  jsonUnsigned(message, "size").value_or(0),
          text(message, "url"),  text(message, "lid")};
}

// The failed-at-once outcome: deskFileDone with ok false and resume false.
void failLanReceptionNow(App& app, const LanReceiveRequest& request) {
  auto job = std::make_unique<FileJob>();
  job->id = request.id;
  job->how = request.how;
  job->reservation = uniqueSavePath(app, request.name, std::string());
  job->path = job->reservation.path();
  app.onFileDone(std::move(job));
}

void lanGetCancel(App& app, const Json& message) {
  const std::string lid = text(message, "lid");
  if (!isLanId(lid)) return;
  transferSockets()->cancelTransfer(lid);
  if (app.lanRuntime) app.lanRuntime->cancelSink(lid);
}

void lanOpen(App& app, const std::string& id, const Json& message) {
  LanServer& server = lanRuntimeOf(app).serverWithEvents();
  server.addOffer(id, jsonUnsigned(message, "size").value_or(0));
  const std::uint16_t port = server.ensureStarted();
  const std::string key = text(message, "key");
  const std::filesystem::path path = widePath(toWide(text(message, "_path")));
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

void lanChunk(App& app, const std::string& id, const Json& message) {
  Bytes bytes = base64Decode(text(message, "data"));
  if (bytes.empty()) {
    app.runScript(lanAckScript(id, false));
  } else {
    lanRuntimeOf(app).server().deliverChunk(id, std::move(bytes), false);
  }
}

void lanPush(App& app, const std::string& id, const Json& message) {
  const std::string url = text(message, "url");
  if (isPeerUrl(url)) lanRuntimeOf(app).push(id, url, jsonUnsigned(message, "from").value_or(0));
}

void lanSink(App& app, const std::string& id) {
  LanServer& server = lanRuntimeOf(app).serverWithEvents();
  server.addSink(id);
  const std::uint16_t port = server.ensureStarted();
  Json ready = Json::object();
  ready["addrs"] = addressList();
  ready["port"] = port;
  app.runScript(lanSinkReadyScript(id, ready));
}

void lanProbe(App& app, const std::string& id, const Json& message) {
  if (const Json* urls = jsonArray(message, "urls")) lanRuntimeOf(app).probe(id, keptProbeUrls(*urls));
}

// The catalogue, in the order the page's LAN messages are documented. The first three read the
// message themselves; every later one needs "id" to be a transfer id, else it does nothing.
struct LanRow {
  const char* type;
  const char* reads;
  bool needsId;
  void (*handle)(App& app, const std::string& id, const Json& message);
};
constexpr LanRow kLanCatalogue[] = {
    {"lanGet", "whole message", false, [](App& app, const std::string&, const Json& m) { app.lanGet(m); }},
    {"lanSinkGet", "whole message", false, [](App& app, const std::string&, const Json& m) { app.lanSinkGet(m); }},
    {"lanGetCancel", "lid", false, [](App& app, const std::string&, const Json& m) { lanGetCancel(app, m); }},
    {"lanOpen", "id size key _path src.size", true, lanOpen},
    {"lanChunk", "id data", true, lanChunk},
    {"lanFinish", "id", true,
     [](App& app, const std::string& id, const Json&) { lanRuntimeOf(app).server().deliverChunk(id, {}, true); }},
    {"lanCancel", "id", true, [](App& app, const std::string& id, const Json&) { lanRuntimeOf(app).server().cancelOffer(id); }},
    {"lanPush", "id url from", true, lanPush},
    {"lanSinkClose", "id", true, [](App& app, const std::string& id, const Json&) { lanRuntimeOf(app).server().removeSink(id); }},
    {"lanSink", "id", true, [](App& app, const std::string& id, const Json&) { lanSink(app, id); }},
    {"lanProbe", "id urls", true, lanProbe},
};

}  // namespace

LanRuntime& lanRuntimeOf(App& app) {
  if (!app.lanRuntime) {
    Desktop& desktop = app.desktop();
    app.lanRuntime = std::make_shared<LanRuntime>(LanSeams{
        app.workerLink, [&desktop] { return desktop.tickMs(); }, [&desktop](bool on) { desktop.keepAwake(on); },
        [&desktop] { return desktop.partFileFolder(); }, [&app] { return receivedFolderPath(app); },
        [&desktop](const char* name, std::function<void()> work) { return desktop.startWorker(name, std::move(work)); }});
    app.lan = app.lanRuntime->sharedServer();
  }
  return *app.lanRuntime;
}

// Reached from onPageMessage, whose one catch makes a message that fails here (memory, a file
// system that throws) an ignored one, like any other message the shell cannot act on.
void App::lanMessage(const std::string& type, const Json& message) {
  const std::string id = text(message, "id");
  for (const LanRow& row : kLanCatalogue) {
    if (type != row.type) continue;
    if (!row.needsId || isLanId(id)) row.handle(*this, id, message);
    return;
  }
}

void App::lanGet(const Json& message) {
  const LanReceiveRequest request = receiveRequest(message);
  if (!lanRuntimeOf(*this).get(request)) failLanReceptionNow(*this, request);
}

void App::lanSinkGet(const Json& message) {
  const LanReceiveRequest request = receiveRequest(message);
  std::uint32_t from = 0;
  switch (lanRuntimeOf(*this).sinkGet(request, from)) {
    case SinkStart::Failed: failLanReceptionNow(*this, request); break;
    case SinkStart::Waiting: runScript(lanSinkWaitScript(request.lid, from)); break;
    case SinkStart::Complete: break;
  }
}
