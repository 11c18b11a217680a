// Probes: which of a peer's addresses answers from here, tried one after another.
#include "common/WorkerLink.h"
#include "common/http.h"
#include "lan/LanFetch.h"
#include "lan/LanProtocol.h"
#include "lan/LanRuntime.h"
#include "lan/LanWorkers.h"

std::vector<std::string> keptProbeUrls(const Json& urls) {
  std::vector<std::string> kept;
  if (!urls.is_array()) return kept;
  for (const auto& u : urls) {
    if (kept.size() >= kLanProbeLimit) break;
    if (u.is_string() && isPeerUrl(u.get<std::string>())) kept.push_back(u.get<std::string>());
  }
  return kept;
}

std::string probePeers(const std::vector<std::string>& urls, WorkerStop* stop) {
  for (const auto& url : urls) {
    if (stop && stop->stopped()) break;
    std::string body;
    if (httpGet(toWide(url + "/ping"), body, std::nullopt, kLanProbeMaxBody, kLanProbeTimeoutMs)) return url;
  }
  return {};
}

void LanRuntime::probe(const std::string& id, std::vector<std::string> urls) {
  const bool started = startWorker("lanProbe", [this, id, urls = std::move(urls)](WorkerStop& stop) {
    const std::string found = probePeers(urls, &stop);
    if (!stop.stopped()) seams_.events->report(LanProbed{id, found});
  }, kLanProbesAtOnce);
  if (!started) seams_.events->report(LanProbed{id, {}});
}
