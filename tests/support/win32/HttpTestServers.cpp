// Under Wine the servers run on the Linux side (tests/wine/wine-run starts them) and are named
// in DESK_HTTP_SERVERS; the certificate's path is given as Wine sees it.
#include "support/HttpTestServers.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

std::unique_ptr<HttpTestServers> HttpTestServers::start() {
  const char* named = std::getenv("DESK_HTTP_SERVERS");
  auto s = std::make_unique<HttpTestServers>();
  std::string certificate;
  std::istringstream in(named ? named : "");
  if (!(in >> s->plainPort >> s->tlsPort >> s->strangerPort >> s->v6Port >> certificate)) {
    std::fprintf(stderr, "HttpTestServers: DESK_HTTP_SERVERS does not name the servers (run me with tests/wine/wine-run)\n");
    return nullptr;
  }
  s->trustedCertificate = certificate;
  return s;
}

void setTestEnv(const char* name, const char* value) { _putenv_s(name, value ? value : ""); }
