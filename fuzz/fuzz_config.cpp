// The configuration readers on arbitrary files and arguments: server.json and config.json read
// as from disk, the origin chosen, trimmed and checked. Each file reads as an object, the last
// "--server=" argument wins, and an accepted origin always yields a desk page on that same
// server, at exactly "/_desk.html".
//
// Input: server.json, a NUL byte, config.json, a NUL byte, then the arguments one per line.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/Origin.h"
#include "common/url.h"

namespace {

std::string_view takePart(std::string_view& rest) {
  const std::size_t end = rest.find('\0');
  const std::string_view part = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return part;
}

Json readFile(std::string_view bytes) {
  std::istringstream in{std::string(bytes)};
  const Json file = loadJsonStream(in);
  if (!file.is_object()) std::abort();
  // The stream reader and the text parser agree on what an object is.
  const Json parsed = parseJson(bytes);
  if (parsed.is_object() && parsed != file) std::abort();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const Json serverJson = readFile(takePart(rest));
  const Json configJson = readFile(takePart(rest));
  std::vector<WString> arguments;
  std::optional<WString> lastServer;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    arguments.push_back(toWide(rest.substr(0, end)));
    if (arguments.back().rfind(DESK_W("--server="), 0) == 0) lastServer = arguments.back().substr(9);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }

  const std::string chosen = chooseOrigin(serverJson, configJson, arguments);
  if (lastServer && chosen != toNarrow(*lastServer)) std::abort();
  const WString origin = trimOrigin(toWide(chosen));
  if (!origin.empty() && origin.back() == WChar('/')) std::abort();
  if (!originAcceptable(origin)) return 0;

  const ParsedUrl server = crackUrl(origin);
  const ParsedUrl page = crackUrl(origin + DESK_W("/_desk.html"));
  if (!server.valid || !page.valid || !server.extra.empty() || !page.extra.empty()) std::abort();
  if (server.scheme != DESK_W("https") && !(server.scheme == DESK_W("http") && isLocalHost(server))) std::abort();
  if (page.scheme != server.scheme || page.host != server.host || page.port != server.port) std::abort();
  if (page.path != DESK_W("/_desk.html")) std::abort();
  return 0;
}
