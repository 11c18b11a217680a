// One httpGet's redirect and size decisions against an in-memory transport that answers with
// whatever the input says: every address asked for passes the scheme rule, https never leads
// to http, at most ten redirects are followed, never more than maxBytes are stored, and a whole
// 200 within the limit is always taken.
//
// Input: 1 byte (bit 0: LAN mode; the rest times 3: maxBytes), then lines. The first line is
// the address; each further line is one answer, "STATUS TEXT", TEXT being the Location of a
// redirect and the body of anything else; "STATUS! TEXT" breaks off after its body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/http_steps.h"

namespace {

struct ScriptedAnswer {
  long status = 0;
  bool breaksOff = false;
  std::string text;
};

ScriptedAnswer parseAnswer(std::string_view line) {
  ScriptedAnswer a;
  std::size_t i = 0;
  while (i < line.size() && i < 4 && line[i] >= '0' && line[i] <= '9') a.status = a.status * 10 + (line[i++] - '0');
  if (i < line.size() && line[i] == '!') {
    a.breaksOff = true;
    ++i;
  }
  if (i < line.size() && line[i] == ' ') ++i;
  a.text = std::string(line.substr(i));
  return a;
}

bool hasScheme(std::string_view reference) {
  const std::size_t colon = reference.find(':');
  return colon != std::string_view::npos && reference.substr(0, colon).find_first_of("/?#") == std::string_view::npos;
}

bool hasDotSegment(const WString& path) {
  for (const WString& dot : {WString(DESK_W("/./")), WString(DESK_W("/../"))}) {
    if (path.find(dot) != WString::npos) return true;
  }
  const auto endsWith = [&](WStringView tail) { return path.size() >= tail.size() && path.substr(path.size() - tail.size()) == tail; };
  return endsWith(DESK_W("/.")) || endsWith(DESK_W("/.."));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool lan = (data[0] & 1) != 0;
  const std::int32_t timeoutMs = lan ? 1500 : 0;
  const std::uint64_t maxBytes = static_cast<std::uint64_t>(data[0] >> 1) * 3;
  std::vector<std::string_view> lines;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    lines.push_back(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  if (lines.empty()) return 0;

  HttpGetSteps steps(toWide(lines[0]), timeoutMs, maxBytes);
  if (!steps.allowed()) return 0;
  std::size_t next = 1;
  std::string stored;
  ScriptedAnswer last;
  bool everHttps = false;
  int requests = 0;
  HttpAnswer answer;
  do {
    const ParsedUrl target = steps.target();
    if (!httpSchemeAllowed(target, timeoutMs)) std::abort();
    everHttps = everHttps || target.scheme == DESK_W("https");
    if (everHttps && target.scheme != DESK_W("https")) std::abort();
    if (++requests > kHttpMaxRedirects + 1) std::abort();

    answer = HttpAnswer{};
    if (next >= lines.size()) break;  // nobody answers: the transport fails
    last = parseAnswer(lines[next++]);
    stored.clear();
    answer.status = last.status;
    answer.complete = !last.breaksOff;
    // The body in small pieces, as a transport hands it over.
    for (std::size_t at = 0; at < last.text.size(); at += 7) {
      const std::string_view piece = std::string_view(last.text).substr(at, 7);
      const HttpPiece verdict = steps.bodyPiece(last.status, piece.size());
      if (verdict == HttpPiece::Stop) {
        answer.complete = false;
        break;
      }
      if (verdict == HttpPiece::Store) stored.append(piece);
    }
    if (stored.size() > maxBytes) std::abort();
    if (isFollowedRedirect(last.status)) answer.location = last.text;
    const ParsedUrl before = steps.target();
    if (!steps.follow(answer)) break;
    // A relative Location stays on the same server and never keeps "." or ".." segments.
    std::string_view location = answer.location;
    while (!location.empty() && (location.front() == ' ' || location.front() == '\t')) location.remove_prefix(1);
    if (!hasScheme(location) && location.substr(0, 2) != "//") {
      const ParsedUrl& now = steps.target();
      if (now.scheme != before.scheme || now.host != before.host || now.port != before.port) std::abort();
      const bool newPath = !location.empty() && location.front() != '?' && location.front() != '#';
      if (newPath && hasDotSegment(now.path)) std::abort();
    }
  } while (true);

  // A whole 200 within the limit is taken, and nothing else is.
  if (steps.succeeded() != (answer.complete && answer.status == 200)) std::abort();
  if (steps.succeeded() && stored != last.text) std::abort();
  return 0;
}
