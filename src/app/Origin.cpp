#include "app/Origin.h"

#include "common/url.h"

std::string chooseOrigin(const Json& serverJson, const Json& configJson, const std::vector<WString>& arguments) {
  std::string origin = kDefaultServerOrigin;
  if (auto s = jsonString(serverJson, "server")) origin = *s;
  if (auto s = jsonString(configJson, "server")) origin = *s;
  static const WString prefix = DESK_W("--server=");
  for (const WString& argument : arguments) {
    if (argument.compare(0, prefix.size(), prefix) == 0) origin = toNarrow(WStringView(argument).substr(prefix.size()));
  }
  return origin;
}

WString trimOrigin(WString origin) {
  while (!origin.empty() && origin.back() == u'/') origin.pop_back();
  return origin;
}

bool originAcceptable(const WString& origin) {
  const ParsedUrl url = crackUrl(origin);
  if (!url.valid) return false;
  const bool secure = url.scheme == DESK_W("https");
  const bool localPlain = url.scheme == DESK_W("http") && isLocalHost(url);
  if (!secure && !localPlain) return false;
  if (!url.path.empty() && url.path != DESK_W("/")) return false;
  return url.extra.empty();
}
