// The LAN test program refuses to run outside the namespace tests/netns-run makes, so its
// traffic can never reach a real network.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* where = std::getenv("DESK_NETNS");
  if (!where || std::strcmp(where, "inside") != 0) {
    std::fprintf(stderr, "test_lan: SKIP: run me through tests/netns-run (a network namespace of my own)\n");
    return 77;
  }
  return RUN_ALL_TESTS();
}
