#pragma once
// The decisions of one httpGet that do not depend on how its bytes travel, shared by every
// client (libcurl, WinHTTP) so that all of them fetch the same addresses and store the same
// bytes: the scheme rule, applied to the first address and to every redirect target; which
// answers are followed and to where; and how many body bytes may be stored.
//
// A client never lets its library follow a redirect by itself. It runs
//   HttpGetSteps steps(url, timeoutMs, maxBytes);
//   if (!steps.allowed()) return false;                    // nothing touches the network
//   HttpAnswer answer;
//   do answer = getOnce(steps.target(), ...);              // body pieces go through bodyPiece()
//   while (steps.follow(answer));
//   ok = steps.succeeded();
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/url.h"

inline constexpr int kHttpMaxRedirects = 10;

// https always; plain http to a local host always, and to any host in LAN mode (timeoutMs > 0).
bool httpSchemeAllowed(const ParsedUrl& url, std::int32_t timeoutMs);

// 301, 302, 303, 307 and 308: the statuses whose Location is followed.
bool isFollowedRedirect(long status);

// One answer as the transport saw it.
struct HttpAnswer {
  bool complete = false;  // the whole answer arrived (no transport failure, no piece refused)
  long status = 0;
  std::string location;  // the Location header exactly as sent; empty when there is none
};

enum class HttpPiece {
  Store,  // store these bytes
  Drop,   // the body of a redirect: read and forget
  Stop,   // end the call: not a 200, or more than maxBytes in all
};

class HttpGetSteps {
 public:
  // A negative timeoutMs is refused like a forbidden address.
  HttpGetSteps(WStringView url, std::int32_t timeoutMs, std::uint64_t maxBytes);

  // The first address passed the scheme rule.
  bool allowed() const { return allowed_; }
  // The address to request now.
  const ParsedUrl& target() const { return target_; }
  // A body piece of an answer with this status. Stop is checked before anything is stored,
  // so no more than maxBytes are ever stored.
  HttpPiece bodyPiece(long status, std::size_t bytes);
  // After each answer: true when target() now names a redirect target to request next;
  // false when the call is over, succeeded() telling how.
  bool follow(const HttpAnswer& answer);
  // A whole 200 answer arrived within the limit.
  bool succeeded() const { return succeeded_; }
  int redirects() const { return redirects_; }

 private:
  ParsedUrl target_;
  std::int32_t timeoutMs_;
  std::uint64_t maxBytes_;
  std::uint64_t stored_ = 0;
  int redirects_ = 0;
  bool allowed_ = false;
  bool succeeded_ = false;
};
