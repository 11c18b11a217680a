#include "common/http_steps.h"

bool httpSchemeAllowed(const ParsedUrl& url, std::int32_t timeoutMs) {
  if (!url.valid || timeoutMs < 0) return false;
  return url.scheme == DESK_W("https") || isLocalHost(url) || timeoutMs > 0;
}

bool isFollowedRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

HttpGetSteps::HttpGetSteps(WStringView url, std::int32_t timeoutMs, std::uint64_t maxBytes)
    : target_(crackUrl(url)), timeoutMs_(timeoutMs), maxBytes_(maxBytes) {
  allowed_ = httpSchemeAllowed(target_, timeoutMs_);
}

HttpPiece HttpGetSteps::bodyPiece(long status, std::size_t bytes) {
  if (isFollowedRedirect(status)) return HttpPiece::Drop;
  if (status != 200 || bytes > maxBytes_ - stored_) return HttpPiece::Stop;
  stored_ += bytes;
  return HttpPiece::Store;
}

bool HttpGetSteps::follow(const HttpAnswer& answer) {
  if (!allowed_ || succeeded_ || !answer.complete) return false;
  if (answer.status == 200) {
    succeeded_ = true;
    return false;
  }
  if (!isFollowedRedirect(answer.status) || redirects_ == kHttpMaxRedirects) return false;
  const ParsedUrl next = crackUrl(resolveReference(target_, toWide(answer.location)));
  // Never from https down to http; in server mode plain http only to a local host.
  if (!httpSchemeAllowed(next, timeoutMs_)) return false;
  if (target_.scheme == DESK_W("https") && next.scheme != DESK_W("https")) return false;
  target_ = next;
  ++redirects_;
  return true;
}
