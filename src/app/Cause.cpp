#include "app/Cause.h"

#include <cstdio>

void reportCause(std::string_view cause) {
  std::fprintf(stderr, "tamsel-desk: %.*s\n", static_cast<int>(cause.size()), cause.data());
  std::fflush(stderr);
}
