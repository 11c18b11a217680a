#pragma once
// The LAN work started from page messages whose workers live with the push, sink and probe
// code: dispatch reaches them through these entry points.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/json.h"

class App;

inline constexpr std::size_t kLanProbeLimit = 6;

// The probe candidates of a "lanProbe" message: text elements that are peer addresses, in
// order, at most six.
std::vector<std::string> keptProbeUrls(const Json& urls);

void startLanPush(App& app, const std::string& id, const std::string& url, std::uint64_t from);
void startLanProbe(App& app, const std::string& id, std::vector<std::string> urls);
// After a cancel: a prepared sink reception of the lid is taken out and completed with 404.
void cancelPendingSink(App& app, const std::string& lid);
