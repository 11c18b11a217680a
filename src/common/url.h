#pragma once
// Absolute web addresses taken apart: lower-cased scheme and host, the explicit or default
// port, path and extra (query and fragment) exactly as written. A user name or password,
// an empty host or a scheme other than http/https leaves `valid` false.
#include <cstdint>

#include "common/text.h"

struct ParsedUrl {
  WString scheme;
  WString host;
  WString path;
  WString extra;
  std::uint16_t port = 0;
  bool valid = false;
};

ParsedUrl crackUrl(WStringView url);
// "localhost", "127.0.0.1", "[::1]" or "::1" only.
bool isLocalHost(const ParsedUrl& url);

// The absolute address a reference names when read against `base` (a redirect's Location):
// an absolute address as it stands, "//authority...", "/path", a relative path (merged with
// the base's folder, "." and ".." segments resolved) or only "?query". The fragment is left
// off, as it never goes on the wire. Leading and trailing blanks are ignored. Empty when the
// reference is empty or the base is not valid; what comes out still has to pass crackUrl.
WString resolveReference(const ParsedUrl& base, WStringView reference);
