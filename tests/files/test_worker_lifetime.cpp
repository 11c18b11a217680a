// A download still blocked in the network when the App goes away must never touch the App
// afterwards (run under AddressSanitizer this catches any use of the freed object).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "app/App.h"
#include "files/ReservedPath.h"
#include "support/DeskServer.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

TEST(FileWorker, OutlivesTheAppWithoutTouchingIt) {
  DeskServer server;
  DeskServer::Route stalled;
  stalled.body = std::string(100000, 'z');
  stalled.stallAfter = 10;
  stalled.stallMs = 20000;
  server.setRoute("/desk-file/0123456789abcdef0123456789abcdef", stalled);

  FakeDesktop desk;
  FakeWebHost web;
  auto app = std::make_unique<App>(desk, web);
  app->serverOrigin = toWide(server.origin());
  app->dataDir = desk.temp().path() / "data";
  app->fileGet(Json{{"t", "fileGet"},
                    {"url", server.origin() + "/desk-file/0123456789abcdef0123456789abcdef"},
                    {"name", "slow.bin"},
                    {"id", "a"}});

  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (server.requestCount("/desk-file/0123456789abcdef0123456789abcdef") == 0 &&
         std::chrono::steady_clock::now() < guard)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));

  app.reset();     // the worker is inside the download now
  server.stop();   // ends the stalled body: the worker fails and tries to report
  while (reservedPathCount() != 0 && std::chrono::steady_clock::now() < guard + std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));

  EXPECT_EQ(reservedPathCount(), 0u);  // the job was freed by its worker
  EXPECT_TRUE(desk.queue.empty());     // nothing was posted for the App that is gone
}
