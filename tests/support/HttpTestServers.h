#pragma once
// The HTTP client tests' servers on loop-back: plain, TLS with a certificate the test trusts,
// TLS with one nobody trusts (each on 127.0.0.1), and plain on [::1] where the machine has it.
// Each answers /size/N (N bytes "b"), /status/N, /hops/N (N redirects, then "arrived"),
// /to-plain, /to-lan and /to-ftp (redirects there), /rel/deep (to ../size/./3) and /stall (5
// bytes, then silence).
// On Linux they run in the test process; the Windows tests under Wine use the same servers
// run by tests/wine/wine-run on the Linux side, which names them in DESK_HTTP_SERVERS.
#include <filesystem>
#include <memory>

struct HttpTestServers {
  int plainPort = 0;
  int tlsPort = 0;
  int strangerPort = 0;
  int v6Port = 0;  // 0 without IPv6 loop-back
  std::filesystem::path trustedCertificate;  // PEM

  virtual ~HttpTestServers() = default;
  // Null when they cannot be had (the reason is on standard error).
  static std::unique_ptr<HttpTestServers> start();
  // "plain tls stranger v6 certificate-path", the form DESK_HTTP_SERVERS takes.
  std::string describe() const;
};

// Sets (value) or removes (nullptr) an environment variable of this process.
void setTestEnv(const char* name, const char* value);
