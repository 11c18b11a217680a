#include "common/url.h"

#include <algorithm>
#include <string>
#include <vector>

// The cracker splits "scheme://[user[:password]@]host[:port][/path][?query][#fragment]" without
// escaping or unescaping anything, and gives the same fields as the Windows URL cracker:
// scheme and host lower-cased, path and extra exactly as written. Anything it cannot take
// apart, and every scheme but http and https, leaves all fields empty.

namespace {

constexpr WChar kColon = WChar(':');

bool equalsNoCase(WStringView text, WStringView lowerWord) {
  return text.size() == lowerWord.size() && lowerWide(text) == lowerWord;
}

// The decimal digits of an explicit port, at most 65535.
bool parsePort(WStringView digits, std::uint16_t& port) {
  if (digits.empty() || digits.size() > 5) return false;
  std::uint32_t value = 0;
  for (WChar c : digits) {
    if (c < WChar('0') || c > WChar('9')) return false;
    value = value * 10 + static_cast<std::uint32_t>(c - WChar('0'));
  }
  if (value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

// Splits "host[:port]" (the part after any user information); a bracketed IPv6 literal keeps
// its brackets and may hold colons.
bool splitHostPort(WStringView hostPort, WString& host, std::uint16_t& port) {
  std::size_t hostEnd;
  if (!hostPort.empty() && hostPort.front() == WChar('[')) {
    const std::size_t close = hostPort.find(WChar(']'));
    if (close == WStringView::npos) return false;
    hostEnd = close + 1;
    if (hostEnd < hostPort.size() && hostPort[hostEnd] != kColon) return false;
  } else {
    hostEnd = std::min(hostPort.find(kColon), hostPort.size());
  }
  host = lowerWide(hostPort.substr(0, hostEnd));
  if (hostEnd < hostPort.size()) {
    const WStringView digits = hostPort.substr(hostEnd + 1);
    // "host:" with nothing after the colon means the default port.
    if (!digits.empty() && !parsePort(digits, port)) return false;
  }
  return true;
}

bool isAsciiLetter(WChar c) { return (c >= WChar('a') && c <= WChar('z')) || (c >= WChar('A') && c <= WChar('Z')); }

// A scheme: a letter, then letters, digits, "+", "-" or ".", ended by ":".
bool startsWithScheme(WStringView reference) {
  if (reference.empty() || !isAsciiLetter(reference[0])) return false;
  for (WChar c : reference.substr(1)) {
    if (c == kColon) return true;
    const bool digit = c >= WChar('0') && c <= WChar('9');
    if (!isAsciiLetter(c) && !digit && c != WChar('+') && c != WChar('-') && c != WChar('.')) return false;
  }
  return false;
}

// "." and ".." segments of a path that starts with "/" taken out, the way a browser does:
// ".." never climbs above the root, and a path ending in either keeps its final "/".
WString withoutDotSegments(WStringView path) {
  std::vector<WStringView> kept;
  bool endsInFolder = false;
  std::size_t begin = 1;
  for (;;) {
    const std::size_t end = path.find(WChar('/'), begin);
    const WStringView segment = path.substr(begin, end == WStringView::npos ? WStringView::npos : end - begin);
    const bool dot = segment == DESK_W(".");
    const bool dotDot = segment == DESK_W("..");
    if (dotDot && !kept.empty()) kept.pop_back();
    if (!dot && !dotDot) kept.push_back(segment);
    endsInFolder = dot || dotDot;
    if (end == WStringView::npos) break;
    begin = end + 1;
  }
  WString out;
  for (WStringView segment : kept) {
    out += WChar('/');
    out += segment;
  }
  if (endsInFolder || out.empty()) out += WChar('/');
  return out;
}

WString portText(std::uint16_t port) {
  WString out;
  for (char c : std::to_string(port)) out.push_back(static_cast<WChar>(c));
  return out;
}

}  // namespace

ParsedUrl crackUrl(WStringView url) {
  const std::size_t colon = url.find(kColon);
  if (colon == WStringView::npos) return {};
  const WStringView schemeText = url.substr(0, colon);
  ParsedUrl out;
  if (equalsNoCase(schemeText, DESK_W("https"))) {
    out.scheme = DESK_W("https");
    out.port = 443;
  } else if (equalsNoCase(schemeText, DESK_W("http"))) {
    out.scheme = DESK_W("http");
    out.port = 80;
  } else {
    return {};
  }

  WStringView rest = url.substr(colon + 1);
  if (rest.size() < 2 || rest[0] != WChar('/') || rest[1] != WChar('/')) return {};
  rest.remove_prefix(2);

  // The authority ends where the path, the query or the fragment begins.
  const std::size_t authorityEnd = std::min(rest.find_first_of(DESK_W("/?#")), rest.size());
  WStringView authority = rest.substr(0, authorityEnd);
  const WStringView tail = rest.substr(authorityEnd);

  // User information: the last "@" of the authority ends it (a password may hold "@" only
  // escaped, but an unescaped one must not let text before it pass for the host).
  const std::size_t at = authority.rfind(WChar('@'));
  if (at != WStringView::npos) {
    // Any user name or password refuses the URL; "@" with nothing before it carries neither.
    const WStringView userInfo = authority.substr(0, at);
    if (!userInfo.empty() && userInfo != DESK_W(":")) return {};
    authority.remove_prefix(at + 1);
  }

  if (!splitHostPort(authority, out.host, out.port)) return {};

  const std::size_t extraStart = std::min(tail.find_first_of(DESK_W("?#")), tail.size());
  out.path = WString(tail.substr(0, extraStart));
  out.extra = WString(tail.substr(extraStart));
  out.valid = !out.host.empty();
  return out;
}

bool isLocalHost(const ParsedUrl& url) {
  return url.host == DESK_W("localhost") || url.host == DESK_W("127.0.0.1") ||
         url.host == DESK_W("[::1]") || url.host == DESK_W("::1");
}

WString resolveReference(const ParsedUrl& base, WStringView reference) {
  const auto blank = [](WChar c) { return c == WChar(' ') || c == WChar('\t'); };
  while (!reference.empty() && blank(reference.front())) reference.remove_prefix(1);
  while (!reference.empty() && blank(reference.back())) reference.remove_suffix(1);
  if (reference.empty() || !base.valid) return {};
  reference = reference.substr(0, reference.find(WChar('#')));
  if (startsWithScheme(reference)) return WString(reference);
  if (reference.substr(0, 2) == DESK_W("//")) return base.scheme + DESK_W(":") + WString(reference);

  const std::size_t queryStart = std::min(reference.find(WChar('?')), reference.size());
  const WStringView path = reference.substr(0, queryStart);
  WString query(reference.substr(queryStart));
  WString resolved;
  if (path.empty()) {
    resolved = base.path.empty() ? DESK_W("/") : base.path;
    if (query.empty()) query = base.extra.substr(0, base.extra.find(WChar('#')));
  } else if (path.front() == WChar('/')) {
    resolved = withoutDotSegments(path);
  } else {
    const std::size_t slash = base.path.rfind(WChar('/'));
    const WString folder = slash == WString::npos ? DESK_W("/") : base.path.substr(0, slash + 1);
    resolved = withoutDotSegments(folder + WString(path));
  }
  return base.scheme + DESK_W("://") + base.host + DESK_W(":") + portText(base.port) + resolved + query;
}
