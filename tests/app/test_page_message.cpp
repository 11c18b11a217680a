// Page messages: the source check, the catalogue's conditions, and the hand-offs.
#include <gtest/gtest.h>

#include <fstream>

#include "AppHarness.h"
#include "app/AppLan.h"
#include "web/PageMessage.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"

namespace {

// Hand-offs run up to their worker, which the desktop records and refuses.
struct PageFixture : ::testing::Test {
  AppHarness h;
  PageFixture() {
    h.webUp();
    h.desk.refuseWorkers = true;
  }
  App& app() { return *h.app; }
};

TEST_F(PageFixture, OnlyStringTypedObjectsFromTheDeskPageItselfAreHeard) {
  const std::string press = R"({"t":"press","down":true})";
  const std::pair<std::string, std::string> ignored[] = {
      {"http://127.0.0.1:8080/_desk.html?x=1", press}, {"http://127.0.0.1:8080/_desk.html#f", press},
      {"http://127.0.0.1:8081/_desk.html", press},     {"https://127.0.0.1:8080/_desk.html", press},
      {"http://127.0.0.1:8080/other.html", press},     {"http://localhost:8080/_desk.html", press},
      {"", press},                                     {"not a url", press},
      {h.kPage, jsonDump(Json(press))},                {h.kPage, "[1]"},
      {h.kPage, R"({"t":5,"down":true})"},            {h.kPage, R"({"down":true})"},
      {h.kPage, R"({"t":"Press","down":true})"},      {h.kPage, R"({"t":"press","down":1})"},
      {h.kPage, press.substr(0, press.size() - 1)},    {h.kPage, ""},
  };
  for (const auto& [source, json] : ignored) {
    h.web.fireWebMessage(source, json);
    EXPECT_FALSE(app().pressDown) << source << " " << json;
  }
  h.web.fireWebMessage("HTTP://127.0.0.1:8080/_desk.html", press);
  EXPECT_TRUE(app().pressDown);
}

TEST(ReadRect, Conditions) {
  struct Case {
    const char* json;
    bool taken;
  } cases[] = {
      {"[0,0,10,10]", true},      {"[-5,-5,0,0]", true},   {"[1.5,2,3,4]", true},     {"[100000,-100000,1,1]", true},
      {"[100001,0,1,1]", false},  {"[0,0,-1,4]", false},   {"[0,0,4,-1]", false},     {"[0,0,1]", false},
      {"[0,0,1,1,1]", false},     {"[0,\"0\",1,1]", false}, {"[0,null,1,1]", false},   {"{\"x\":0}", false},
      {"[0,0,1e300,1]", false},   {"[0,0,18446744073709551615,1]", false},
  };
  for (const auto& c : cases) EXPECT_EQ(readRect(parseJson(c.json)).has_value(), c.taken) << c.json;
}

TEST_F(PageFixture, HitsReplaceShapesZoneAndScale) {
  h.fromPage(R"({"t":"hits","rects":[[0,0,10,10],[5,5,-1,4],"x"],"zone":[0,0,100,50],"scale":2})");
  ASSERT_EQ(app().hitRects.size(), 1u);
  EXPECT_TRUE(app().zoneValid);
  EXPECT_EQ(app().zoneRect.w, 100);
  EXPECT_EQ(app().pageScale, 2);

  const std::pair<const char*, double> scales[] = {{"0.4", 2}, {"8.5", 2},  {"\"3\"", 2},
                                                   {"0.5", 0.5}, {"8", 8}, {"1.25", 1.25}};
  for (const auto& [scale, expected] : scales) {
    h.fromPage(std::string(R"({"t":"hits","rects":[],"zone":[0,0,1,1],"scale":)") + scale + "}");
    EXPECT_EQ(app().pageScale, expected) << scale;
  }

  h.fromPage(R"({"t":"hits","rects":[[1,1,1,1]]})");
  EXPECT_FALSE(app().zoneValid);
  h.fromPage(R"({"t":"hits","rects":[],"zone":[0,0,100001,1]})");
  EXPECT_FALSE(app().zoneValid);
  EXPECT_TRUE(app().hitRects.empty());
}

TEST_F(PageFixture, TooManyRectsChangeNothingAtAll) {
  auto hits = [](std::size_t n) {
    Json rects = Json::array();
    for (std::size_t i = 0; i < n; ++i) rects.push_back({i, 0, 1, 1});
    return jsonDump(Json{{"t", "hits"}, {"rects", rects}, {"zone", {0, 0, 9, 9}}, {"scale", 3}});
  };
  h.fromPage(hits(2049));
  EXPECT_TRUE(app().hitRects.empty());
  EXPECT_FALSE(app().zoneValid);
  EXPECT_EQ(app().pageScale, 1);
  h.fromPage(R"({"t":"hits","rects":{"a":1},"zone":[0,0,9,9]})");
  EXPECT_FALSE(app().zoneValid);
  h.fromPage(hits(2048));
  EXPECT_EQ(app().hitRects.size(), 2048u);
  EXPECT_TRUE(app().zoneValid);
  EXPECT_EQ(app().pageScale, 3);
}

TEST_F(PageFixture, PointerFlags) {
  struct Case {
    const char* json;
    bool App::*field;
    bool expected;
  } cases[] = {
      {R"({"t":"press","down":true})", &App::pressDown, true},
      {R"({"t":"press","down":1})", &App::pressDown, true},
      {R"({"t":"press","down":false})", &App::pressDown, false},
      {R"({"t":"fileDrag","on":true})", &App::fileDragging, true},
      {R"({"t":"fileDrag","on":null})", &App::fileDragging, true},
      {R"({"t":"fileDrag","on":false})", &App::fileDragging, false},
      {R"({"t":"screenDrag","on":true})", &App::screenDragging, true},
      {R"({"t":"screenDrag"})", &App::screenDragging, true},
      {R"({"t":"screenDrag","on":false})", &App::screenDragging, false},
  };
  for (const auto& c : cases) {
    h.fromPage(c.json);
    EXPECT_EQ(app().*c.field, c.expected) << c.json;
  }
}

TEST_F(PageFixture, HideForTheGivenTimeCappedAtADay) {
  struct Case {
    const char* ms;
    std::optional<std::uint64_t> until;  // relative to now; nullopt: not hidden
  } cases[] = {
      {"0", std::nullopt},     {"-5", std::nullopt},           {"\"100\"", std::nullopt}, {"null", std::nullopt},
      {"100", 100},            {"100.9", 100},                 {"1e12", 86400000},       {"86400000", 86400000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    app().show();
    h.desk.visible = true;
    h.app->pressDown = true;
    h.fromPage(std::string(R"({"t":"hide","ms":)") + c.ms + "}");
    if (!c.until) {
      EXPECT_TRUE(h.desk.visible);
      EXPECT_EQ(app().hideUntil, 0u);
      continue;
    }
    EXPECT_FALSE(h.desk.visible);
    EXPECT_FALSE(app().pressDown);
    EXPECT_EQ(app().hideUntil, h.desk.tick + *c.until);
    EXPECT_EQ(h.scripts().back(), "document.activeElement?.blur()");
  }
  app().show();
  h.fromPage(R"({"t":"hide"})");
  EXPECT_TRUE(h.desk.visible);
}

TEST_F(PageFixture, OpenGoesToTheBrowserOnlyForWebAddresses) {
  for (const char* url : {"https://a.example/x", "http://b.example", "ftp://c.example", "mailto:x@y.z", "/relative",
                          "https://user@d.example/"})
    h.fromPage(jsonDump(Json{{"t", "open"}, {"url", url}}));
  h.fromPage(R"({"t":"open","url":5})");
  EXPECT_EQ(h.desk.openedAddresses, (std::vector<WString>{toWide("https://a.example/x"), toWide("http://b.example")}));
}

TEST_F(PageFixture, HandOffsInCatalogueOrder) {
  const std::string file = std::string(h.kOrigin) + "/desk-file/" + std::string(32, 'a');
  const Json peers = {"http://10.0.0.2:4000/" + std::string(32, 'b')};
  h.fromPage(jsonDump(Json{{"t", "fileGet"}, {"id", "a"}, {"url", file}}));
  h.fromPage(jsonDump(Json{{"t", "lanProbe"}, {"id", std::string(32, 'c')}, {"urls", peers}}));
  h.fromPage(R"({"t":"updateCheck","manual":"yes"})");
  EXPECT_FALSE(app().updateManual);
  h.fromPage(R"({"t":"updateCheck","manual":true})");
  EXPECT_TRUE(app().updateManual);  // no worker ran: the next check answers it
  h.fromPage(jsonDump(Json{{"t", "Lanx"}, {"id", std::string(32, 'c')}, {"urls", peers}}));
  h.fromPage(jsonDump(Json{{"t", "lanProbe"}, {"id", std::string(32, 'c')}, {"urls", peers[0]}}));  // not a list
  h.fromPage(jsonDump(Json{{"t", "lanPush"}, {"id", std::string(32, 'c')}, {"url", peers[0].get<std::string>() + "0"}}));
  h.fromPage(jsonDump(Json{{"t", "fileget"}, {"id", "a"}, {"url", file}}));
  EXPECT_EQ(h.desk.startedWorkers, (std::vector<std::string>{"fileFetch", "lanProbe", "update", "update"}));

  app().updatePath = h.desk.temp().path() / "setup.exe";
  std::ofstream(app().updatePath) << "x";
  h.fromPage(R"({"t":"updateNow"})");
  ASSERT_EQ(h.desk.detachedStarts.size(), 1u);
  EXPECT_EQ(h.desk.detachedStarts[0].program, app().updatePath);
}

TEST_F(PageFixture, ARefusedLanWorkerGoesWithEverythingItHeld) {
  lanRuntimeOf(app()).server().stop();
  const std::string lid(32, 'd'), key(64, '0');
  h.fromPage(jsonDump(Json{{"t", "lanGet"}, {"id", "g"}, {"url", "http://10.0.0.2:4000/" + lid}, {"key", key},
                           {"size", 5}, {"name", "a.bin"}}));
  // The fetch's claim on the part file went with it (a sink of the transfer gets to its wait); both fail at once.
  h.fromPage(jsonDump(Json{{"t", "lanSinkGet"}, {"lid", lid}, {"id", "s"}, {"key", key}, {"size", 5}, {"name", "a"}}));
  EXPECT_EQ(h.desk.startedWorkers, (std::vector<std::string>{"lanGet", "lanSinkWait"}));
  EXPECT_EQ(h.scripts().size(), 2u);
}

TEST_F(PageFixture, LanOpenPathIsSetOnlyByTheShell) {
  lanRuntimeOf(app()).server().stop();  // the registry works; nothing listens
  const auto file = h.desk.temp().path() / "a b.txt";
  std::ofstream(file) << "four";
  const auto nativeOffer = [&](char id, const char* pagePath, const std::optional<std::string>& shellPath) {
    const Json m = {{"t", "lanOpen"}, {"id", std::string(32, id)}, {"key", std::string(64, 'k')},
                    {"src", {{"size", 4}}}, {"_path", pagePath}};
    h.fromPage(jsonDump(m), shellPath);
    return app().lan->findNativeOffer(std::string(32, id)).has_value();
  };
  EXPECT_FALSE(nativeOffer('1', file.string().c_str(), std::nullopt));
  EXPECT_TRUE(nativeOffer('2', "/etc/passwd", file.string()));
  EXPECT_EQ(app().lan->findNativeOffer(std::string(32, '2'))->path, file);
  EXPECT_FALSE(nativeOffer('3', file.string().c_str(), std::string()));
}

TEST_F(PageFixture, FileOpenAndRevealOnlyForFilesSavedInThisRun) {
  const auto dir = h.desk.temp().path();
  const auto saved = dir / "saved.txt", other = dir / "other.txt";
  const auto deleted = dir / "deleted.txt", tool = dir / "tool.exe";
  for (const auto& p : {saved, other, tool}) std::ofstream(p) << "x";
  app().savedFiles = {saved, deleted, tool};
  EXPECT_FALSE(app().isSavedFile(other));
  EXPECT_FALSE(app().isSavedFile(deleted));

  for (const auto& path : {other, deleted}) {
    for (const char* t : {"fileOpenPath", "fileReveal"}) {
      h.web.scripts.clear();
      h.fromPage(jsonDump(Json{{"t", t}, {"path", path.string()}}));
      EXPECT_EQ(h.scripts(), std::vector<std::string>{"window.deskFileDone && window.deskFileDone({gone:true})"})
          << t << " " << path;
    }
  }
  EXPECT_TRUE(h.desk.openedFiles.empty() && h.desk.revealedFiles.empty());

  // A saved file opens, or is shown in its folder when asked or when it is of a risky kind.
  h.web.scripts.clear();
  h.fromPage(jsonDump(Json{{"t", "fileReveal"}, {"path", saved.string()}}));
  h.fromPage(jsonDump(Json{{"t", "fileOpenPath"}, {"path", saved.string()}}));
  h.fromPage(jsonDump(Json{{"t", "fileOpenPath"}, {"path", tool.string()}}));
  h.fromPage(R"({"t":"fileOpenPath","path":7})");
  EXPECT_TRUE(h.scripts().empty());
  EXPECT_EQ(h.desk.revealedFiles, (std::vector<std::filesystem::path>{saved, tool}));
  EXPECT_EQ(h.desk.openedFiles, std::vector<std::filesystem::path>{saved});
}

}  // namespace
