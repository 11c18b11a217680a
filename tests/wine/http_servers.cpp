// The HTTP client tests' servers for the Windows tests under Wine (tests/wine/wine-run starts
// it on the Linux side): prints where they listen on one line and serves until its standard
// input closes.
#include <cstdio>

#include "support/HttpTestServers.h"

int main() {
  const auto servers = HttpTestServers::start();
  if (!servers) return 1;
  std::printf("%s\n", servers->describe().c_str());
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}
