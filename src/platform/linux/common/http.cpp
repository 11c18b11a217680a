// httpGet over libcurl, with the contract of the Windows client: GET only, status 200 only,
// the destination file created only once a 200 has arrived, never more than maxBytes stored.
// libcurl only carries bytes: which addresses are fetched, which redirects are followed and
// how much is stored is decided by HttpGetSteps, as in the Windows client.
#include "common/http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/http_steps.h"
#include "platform/linux/common/UniqueFd.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kServerConnectMs = 60000;  // the Windows client's defaults
constexpr long kServerIdleMs = 30000;

void initCurlOnce() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

// --- the test-only extra trust anchor -------------------------------------------------

struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

std::mutex& trustLock() {
  static std::mutex lock;
  return lock;
}
std::vector<X509Ptr>& extraTrust() {
  static std::vector<X509Ptr> certs;
  return certs;
}

CURLcode addExtraTrust(CURL*, void* sslCtx, void*) {
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslCtx));
  std::lock_guard guard(trustLock());
  for (const auto& cert : extraTrust()) X509_STORE_add_cert(store, cert.get());
  return CURLE_OK;
}

// --- RAII for libcurl handles ---------------------------------------------------------

struct EasyFree {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiFree {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct UrlFree {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using Easy = std::unique_ptr<CURL, EasyFree>;
using Multi = std::unique_ptr<CURLM, MultiFree>;
using Url = std::unique_ptr<CURLU, UrlFree>;

class OutFile {
 public:
  OutFile() = default;
  ~OutFile() { close(); }
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  bool open(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
  }
  bool isOpen() const { return fd_ >= 0; }
  bool write(const char* data, std::size_t size) { return writeAll(fd_, data, size); }
  bool close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_ = -1;
};

// --- one request ------------------------------------------------------------------------

struct Transfer {
  CURL* easy = nullptr;
  HttpGetSteps* steps = nullptr;
  std::string* body = nullptr;
  const std::optional<std::filesystem::path>* filePath = nullptr;
  OutFile* file = nullptr;
  bool connected = false;
  Clock::time_point lastActivity;
};

long responseCode(CURL* easy) {
  long code = 0;
  if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
  return code;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  t.lastActivity = Clock::now();
  switch (t.steps->bodyPiece(responseCode(t.easy), n)) {
    case HttpPiece::Drop:
      return n;
    case HttpPiece::Stop:
      return 0;  // a short count ends the transfer; nothing of this piece is stored
    case HttpPiece::Store:
      break;
  }
  if (n == 0) return 0;
  if (!t.filePath->has_value()) {
    t.body->append(data, n);
    return n;
  }
  if (!t.file->isOpen() && !t.file->open(**t.filePath)) return 0;
  return t.file->write(data, n) ? n : 0;
}

size_t onHeader(char*, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->lastActivity = Clock::now();
  return size * count;
}

int onConnected(void* user, char*, char*, int, int) {
  auto& t = *static_cast<Transfer*>(user);
  t.connected = true;
  t.lastActivity = Clock::now();
  return CURL_PREREQFUNC_OK;
}

// The address handed to libcurl, rebuilt from the cracked parts so that libcurl and the
// scheme gate agree on the host; the fragment never goes on the wire.
Url curlUrl(const ParsedUrl& parsed) {
  const std::string scheme = toNarrow(parsed.scheme);
  const std::string host = toNarrow(parsed.host);
  const std::string path = parsed.path.empty() ? std::string("/") : toNarrow(parsed.path);
  const WString query = parsed.extra.substr(0, parsed.extra.find(WChar('#')));
  const std::string extra = toNarrow(query);
  if (scheme.empty() || host.empty() || path.empty() || extra.empty() != query.empty()) return nullptr;
  const std::string text = scheme + "://" + host + ":" + std::to_string(parsed.port) + path + extra;
  Url url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    return nullptr;
  }
  char* curlHost = nullptr;
  if (curl_url_get(url.get(), CURLUPART_HOST, &curlHost, 0) != CURLUE_OK) return nullptr;
  const bool same = host == curlHost;
  curl_free(curlHost);
  return same ? std::move(url) : nullptr;
}

// The Location header as the server sent it (libcurl's own reading of it is not used, so
// that every client resolves it by the same rules).
std::string locationHeader(CURL* easy) {
  curl_header* header = nullptr;
  if (curl_easy_header(easy, "Location", 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header) return {};
  return header->value ? std::string(header->value) : std::string();
}

HttpAnswer performOnce(const ParsedUrl& parsed, Transfer& t, std::int32_t timeoutMs) {
  HttpAnswer answer;
  Url url = curlUrl(parsed);
  Easy easy(curl_easy_init());
  Multi multi(curl_multi_init());
  if (!url || !easy || !multi) return answer;
  CURL* e = easy.get();
  t.easy = e;
  t.connected = false;
  const bool lan = timeoutMs != 0;
  const long idleMs = lan ? timeoutMs : kServerIdleMs;

  bool ok = curl_easy_setopt(e, CURLOPT_CURLU, url.get()) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, lan ? long{timeoutMs} : kServerConnectMs) ==
                CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_WRITEDATA, &t) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_HEADERDATA, &t) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, onConnected) == CURLE_OK &&
            curl_easy_setopt(e, CURLOPT_PREREQDATA, &t) == CURLE_OK;
  if (ok && lan) {
    // LAN peers are reached directly, whatever proxy the environment names.
    ok = curl_easy_setopt(e, CURLOPT_PROXY, "") == CURLE_OK &&
         curl_easy_setopt(e, CURLOPT_NOPROXY, "*") == CURLE_OK;
  }
  bool haveExtraTrust;
  {
    std::lock_guard guard(trustLock());
    haveExtraTrust = !extraTrust().empty();
  }
  if (ok && haveExtraTrust) {
    ok = curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, addExtraTrust) == CURLE_OK;
  }
  if (!ok || curl_multi_add_handle(multi.get(), e) != CURLM_OK) return answer;

  // Drive the transfer ourselves so that "no data for idleMs" ends it to the millisecond;
  // connecting (TLS included) is bounded by the connect time-out instead.
  int running = 1;
  bool stalled = false;
  while (running > 0) {
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
    if (running == 0) break;
    long waitMs = 1000;
    if (t.connected) {
      const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t.lastActivity);
      const long left = idleMs - static_cast<long>(idle.count());
      if (left <= 0) {
        stalled = true;
        break;
      }
      waitMs = std::min(waitMs, left);
    }
    if (curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(waitMs), nullptr) != CURLM_OK) break;
  }
  CURLcode result = CURLE_RECV_ERROR;
  if (!stalled && running == 0) {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) result = msg->data.result;
    }
  }
  curl_multi_remove_handle(multi.get(), e);
  if (result != CURLE_OK) return answer;
  answer.complete = true;
  answer.status = responseCode(e);
  if (isFollowedRedirect(answer.status)) answer.location = locationHeader(e);
  return answer;
}

}  // namespace

bool httpGet(WStringView url, std::string& body, const std::optional<std::filesystem::path>& file,
             std::uint64_t maxBytes, std::int32_t timeoutMs) {
  HttpGetSteps steps(url, timeoutMs, maxBytes);
  // Refused here, before anything touches the network.
  if (!steps.allowed()) return false;
  initCurlOnce();

  OutFile out;
  Transfer t;
  t.steps = &steps;
  t.body = &body;
  t.filePath = &file;
  t.file = &out;
  while (steps.follow(performOnce(steps.target(), t, timeoutMs))) {
  }
  if (!steps.succeeded()) return false;
  // A 200 with an empty body still leaves an (empty) file.
  if (file && !out.isOpen() && !out.open(*file)) return false;
  return out.close();
}

void httpTrustExtraCertificateForTests(const std::filesystem::path& pemFile) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(pemFile.c_str(), "r"), &std::fclose);
  if (!f) return;
  std::lock_guard guard(trustLock());
  while (X509* cert = PEM_read_X509(f.get(), nullptr, nullptr, nullptr)) {
    extraTrust().emplace_back(cert);
  }
  ERR_clear_error();  // the end of the file is reported as an error
}
