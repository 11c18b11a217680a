// Probes: which of a peer's addresses answers from here, tried one after another.
#include "app/App.h"
#include "common/http.h"
#include "lan/LanFetch.h"
#include "lan/LanRuntime.h"
#include "lan/LanWorkers.h"
#include "web/Callbacks.h"

std::string probePeers(const std::vector<std::string>& urls, WorkerStop* stop) {
  for (const auto& url : urls) {
    if (stop && stop->stopped()) break;
    std::string body;
    if (httpGet(toWide(url + "/ping"), body, std::nullopt, kLanProbeMaxBody, kLanProbeTimeoutMs)) return url;
  }
  return {};
}

void startLanProbe(App& app, const std::string& id, std::vector<std::string> urls) {
  lanRuntimeOf(app).startWorker([&app, id, urls = std::move(urls)](WorkerStop& stop) {
    const std::string found = probePeers(urls, &stop);
    if (!stop.stopped()) app.postScript(lanProbedScript(id, found));
  });
}
