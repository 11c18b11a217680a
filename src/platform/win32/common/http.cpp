// httpGet over WinHTTP, synchronous: GET only, status 200 only, the destination file created
// only once a 200 has arrived, never more than maxBytes stored. WinHTTP's own redirect handling
// is switched off: WinHTTP only carries bytes, and which addresses are fetched, which redirects
// are followed and how much is stored is decided by HttpGetSteps, as in the libcurl client
// (WinHTTP would take a plain-http hop to any host). A proxy that asks for Windows sign-in (407)
// gets the user's own credentials through Negotiate or NTLM, once per hop; no server does.
#include <windows.h>

#include <winhttp.h>

#include <memory>
#include <string>
#include <vector>

#include "common/http.h"
#include "common/http_steps.h"
#include "platform/win32/common/LongPath.h"
#include "platform/win32/common/UniqueHandle.h"

namespace {

constexpr DWORD kReadBuffer = 65536;

struct InternetClose {
  void operator()(HINTERNET h) const { ::WinHttpCloseHandle(h); }
};
using Internet = std::unique_ptr<void, InternetClose>;

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

std::optional<DWORD> statusCode(HINTERNET request) {
  DWORD code = 0;
  DWORD size = sizeof code;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return code;
}

// The Location header as the server sent it.
std::string locationHeader(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  return toNarrow(WStringView(buffer.data(), size / sizeof(wchar_t)));
}

struct Hop {
  Internet connection;
  Internet request;
  DWORD code = 0;
};

// The user's own sign-in for a proxy that asks with Negotiate or NTLM; false for any other ask.
bool answerProxy(HINTERNET request) {
  DWORD supported = 0, first = 0, target = 0;
  if (!::WinHttpQueryAuthSchemes(request, &supported, &first, &target) || target != WINHTTP_AUTH_TARGET_PROXY) {
    return false;
  }
  for (const DWORD scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM}) {
    // No name and no password: the credentials of the user the shell runs as.
    if ((supported & scheme) &&
        ::WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr, nullptr)) {
      return true;
    }
  }
  return false;
}

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
  if (!::WinHttpSetOption(hop.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects)) {
    return {};
  }
  for (int attempt = 0;; ++attempt) {
    if (!::WinHttpSendRequest(hop.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(hop.request.get(), nullptr)) {
      return {};
    }
    const auto code = statusCode(hop.request.get());
    if (!code) return {};
    hop.code = *code;
    if (hop.code != HTTP_STATUS_PROXY_AUTH_REQ || attempt > 0 || !answerProxy(hop.request.get())) return hop;
  }
}

// The body of a 200 into memory or the file; false when it breaks off, grows past maxBytes
// or cannot be stored.
bool readBody(HINTERNET request, std::string& body, const std::optional<std::filesystem::path>& file,
              HttpGetSteps& steps) {
  UniqueHandle out;
  if (file) {
    out = UniqueHandle(::CreateFileW(extendedPath(*file).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) return false;
  }
  std::vector<char> buffer(kReadBuffer);
  for (;;) {
    DWORD n = 0;
    if (!::WinHttpReadData(request, buffer.data(), kReadBuffer, &n)) return false;
    if (n == 0) break;
    if (steps.bodyPiece(200, n) != HttpPiece::Store) return false;
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
  HttpGetSteps steps(url, timeoutMs, maxBytes);
  // Refused here, before anything touches the network.
  if (!steps.allowed()) return false;

  const bool lan = timeoutMs != 0;
  const Internet session(::WinHttpOpen(toWide(kUserAgent).c_str(),
                                       lan ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  // TLS 1.3 where the system has it; a Windows that does not know the flag keeps 1.2.
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (!::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    ::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  }
  if (lan && !::WinHttpSetTimeouts(session.get(), timeoutMs, timeoutMs, timeoutMs, timeoutMs)) return false;

  for (;;) {
    const Hop hop = sendOnce(session.get(), steps.target());
    HttpAnswer answer;
    answer.status = hop.code;
    // A redirect's body is never read; a 200's is read whole before the answer counts.
    answer.complete = hop.request && (hop.code != 200 || readBody(hop.request.get(), body, file, steps));
    if (answer.complete && isFollowedRedirect(hop.code)) answer.location = locationHeader(hop.request.get());
    if (!steps.follow(answer)) return steps.succeeded();
  }
}
