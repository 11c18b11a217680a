#include "ContentRules.h"

#include "common/json.h"
#include "common/url.h"

namespace {

// The address as the engine spells it before matching: lower-case scheme and host, no default
// port. The match ignores letter case; a path differing only in case is caught later by App.
std::string canonicalPattern(const WString& pageUrl) {
  const ParsedUrl url = crackUrl(pageUrl);
  if (!url.valid) return {};
  std::string host = toNarrow(url.host);
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  const bool defaultPort = (url.scheme == DESK_W("http") && url.port == 80) || (url.scheme == DESK_W("https") && url.port == 443);
  const std::string address = toNarrow(url.scheme) + "://" + host +
                              (defaultPort ? std::string() : ":" + std::to_string(url.port)) + toNarrow(url.path);
  std::string pattern = "^";
  for (char c : address) {
    if (std::string_view(".*+?()[]{}|^$\\").find(c) != std::string_view::npos) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

Json rule(const std::string& urlFilter, const char* action) {
  return Json{{"trigger", {{"url-filter", urlFilter}, {"resource-type", {"document"}}, {"load-context", {"top-frame"}}}},
              {"action", {{"type", action}}}};
}

}  // namespace

std::string deskContentRules(const WString& pageUrl) {
  Json rules = Json::array({rule(".*", "block"), rule("^about:", "ignore-previous-rules")});
  const std::string page = canonicalPattern(pageUrl);
  if (!page.empty()) rules.push_back(rule(page, "ignore-previous-rules"));
  return jsonDump(rules);
}
