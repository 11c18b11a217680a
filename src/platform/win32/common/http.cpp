// httpGet over WinHTTP, synchronous: GET only, status 200 only, the destination file created
// only once a 200 has arrived, never more than maxBytes stored. WinHTTP's own redirect handling
// is switched off and redirects are followed here, so that every hop passes the same scheme
// rules as the first address (WinHTTP would take a plain-http hop to any host).
#include <windows.h>

#include <winhttp.h>

#include <memory>
#include <string>
#include <vector>

#include "common/http.h"
#include "common/url.h"
#include "platform/win32/common/UniqueHandle.h"

namespace {

constexpr int kMaxRedirects = 10;  // WinHTTP's own limit
constexpr DWORD kReadBuffer = 65536;

struct InternetClose {
  void operator()(HINTERNET h) const { ::WinHttpCloseHandle(h); }
};
using Internet = std::unique_ptr<void, InternetClose>;

// The scheme rule, applied to the first address and to every redirect target.
bool allowed(const ParsedUrl& url, std::int32_t timeoutMs) {
  if (!url.valid) return false;
  return url.scheme == L"https" || isLocalHost(url) || timeoutMs != 0;
}

bool isFollowedRedirect(DWORD code) {
  return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

// The request target: path and query; the fragment never goes on the wire.
WString requestTarget(const ParsedUrl& url) {
  WString target = url.path.empty() ? WString(L"/") : url.path;
  target += url.extra.substr(0, url.extra.find(L'#'));
  return target;
}

// The host as WinHTTP connects to it: an IPv6 literal without its brackets.
WString connectHost(const ParsedUrl& url) {
  if (url.host.size() > 2 && url.host.front() == L'[' && url.host.back() == L']') {
    return url.host.substr(1, url.host.size() - 2);
  }
  return url.host;
}

// A Location value made absolute against the address that answered with it.
WString resolveLocation(const ParsedUrl& base, WStringView location) {
  const WString origin = base.scheme + L"://" + base.host + L":" + std::to_wstring(base.port);
  if (location.find(L"://") != WStringView::npos &&
      location.find(L"://") < location.find_first_of(L"/?#")) {
    return WString(location);
  }
  if (location.starts_with(L"//")) return base.scheme + L":" + WString(location);
  if (location.starts_with(L"/")) return origin + WString(location);
  const WString path = base.path.empty() ? WString(L"/") : base.path;
  if (location.starts_with(L"?")) return origin + path + WString(location);
  return origin + path.substr(0, path.rfind(L'/') + 1) + WString(location);
}

std::optional<DWORD> statusCode(HINTERNET request) {
  DWORD code = 0;
  DWORD size = sizeof code;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return code;
}

WString locationHeader(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  return WString(buffer.data(), size / sizeof(wchar_t));
}

struct Hop {
  Internet connection;
  Internet request;
  DWORD code = 0;
};

// Sends one GET and waits for the answer's head; an empty request on any failure.
Hop sendOnce(HINTERNET session, const ParsedUrl& url) {
  Hop hop;
  hop.connection.reset(::WinHttpConnect(session, connectHost(url).c_str(), url.port, 0));
  if (!hop.connection) return {};
  const DWORD flags = url.scheme == L"https" ? WINHTTP_FLAG_SECURE : 0;
  hop.request.reset(::WinHttpOpenRequest(hop.connection.get(), L"GET", requestTarget(url).c_str(), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!hop.request) return {};
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  if (!::WinHttpSetOption(hop.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects) ||
      !::WinHttpSendRequest(hop.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(hop.request.get(), nullptr)) {
    return {};
  }
  const auto code = statusCode(hop.request.get());
  if (!code) return {};
  hop.code = *code;
  return hop;
}

// The body of a 200 into memory or the file; false when it breaks off, grows past maxBytes
// or cannot be stored.
bool readBody(HINTERNET request, std::string& body, const std::optional<std::filesystem::path>& file,
              std::uint64_t maxBytes) {
  UniqueHandle out;
  if (file) {
    out = UniqueHandle(::CreateFileW(file->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) return false;
  }
  std::vector<char> buffer(kReadBuffer);
  std::uint64_t total = 0;
  for (;;) {
    DWORD n = 0;
    if (!::WinHttpReadData(request, buffer.data(), kReadBuffer, &n)) return false;
    if (n == 0) break;
    total += n;
    if (total > maxBytes) return false;  // checked before storing: never more than maxBytes
    if (out.valid()) {
      if (!writeAll(out.get(), buffer.data(), n)) return false;
    } else {
      body.append(buffer.data(), n);
    }
  }
  return out.close();
}

}  // namespace

bool httpGet(WStringView url, std::string& body, const std::optional<std::filesystem::path>& file,
             std::uint64_t maxBytes, std::int32_t timeoutMs) {
  if (timeoutMs < 0) return false;
  ParsedUrl parsed = crackUrl(url);
  // Refused here, before anything touches the network.
  if (!allowed(parsed, timeoutMs)) return false;

  const bool lan = timeoutMs != 0;
  const Internet session(::WinHttpOpen(toWide(kUserAgent).c_str(),
                                       lan ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  if (lan && !::WinHttpSetTimeouts(session.get(), timeoutMs, timeoutMs, timeoutMs, timeoutMs)) return false;

  for (int redirects = 0;; ++redirects) {
    const Hop hop = sendOnce(session.get(), parsed);
    if (!hop.request) return false;
    if (hop.code == 200) return readBody(hop.request.get(), body, file, maxBytes);
    if (!isFollowedRedirect(hop.code) || redirects == kMaxRedirects) return false;
    const WString location = locationHeader(hop.request.get());
    if (location.empty()) return false;
    const ParsedUrl next = crackUrl(resolveLocation(parsed, location));
    // Never from https down to http, and in server mode plain http only to a local host.
    if (!allowed(next, timeoutMs) || (parsed.scheme == L"https" && next.scheme != L"https")) return false;
    parsed = next;
  }
}
