// Server files end to end: "fileGet" against the desk test server, the worker, WM_FILE_DONE,
// deskFileDone, and opening or revealing what was saved.
#include <gtest/gtest.h>

#include "files/FileFetch.h"
#include "files/FileJob.h"
#include "files/Saving.h"
#include "FilesHarness.h"

namespace {

std::string hexId(int n) {
  std::string s = std::to_string(n);
  return std::string(32 - s.size(), '0') + s;
}

TEST(FileGet, NamesAndFoldersLandInTheReceivedFolder) {
  FilesHarness h;
  // Four levels of 80 pass MAX_PATH on Windows, where the saving functions take "\\?\" paths.
  const std::string level(80, 'L');
  std::vector<std::string> deep = {level};
  for (int i = 0; i < 3; ++i) deep.push_back(deep.back() + "/" + level);
  const std::string deepFile = deep.back() + "/deep.bin";
  struct Case {
    const char* name;
    const char* dir;
    const char* saved;
  } cases[] = {
      {"../x/report.pdf", "", "report.pdf"},   {"report.pdf", "../a/./b", "a/b/report.pdf"},
      {"report.pdf", "..", "report (1).pdf"},  {"con.txt", "", "_con.txt"},
      {"Aux", "", "_Aux"},                     {"com5.txt", "", "_com5.txt"},
      {"CONSOLE.txt", "", "CONSOLE.txt"},      {"a?b*.txt", "", "a_b_.txt"},
      {"", "", "_"},                           {"deep.bin", deep.back().c_str(), deepFile.c_str()},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string body = std::string("body of ") + c.saved;
    h.get(h.offer(hexId(n), 200, body), c.name, "save", c.dir);
    ASSERT_TRUE(h.waitScripts(static_cast<std::size_t>(++n)));
    const Json r = h.result(n - 1);
    EXPECT_EQ(r["path"], h.pathIn(c.saved)) << c.name;
    EXPECT_EQ(r["ok"], true) << c.name;
    EXPECT_EQ(readAll(h.pathIn(c.saved)), body) << c.name;
  }
  // Nothing but the saved files: no ".part" left anywhere, nothing outside.
  std::vector<std::string> tree = {"CONSOLE.txt"};
  tree.insert(tree.end(), deep.begin(), deep.end());
  tree.push_back(deepFile);
  for (const char* more : {"_", "_Aux", "_com5.txt", "_con.txt", "a", "a/b", "a/b/report.pdf", "a_b_.txt",
                           "report (1).pdf", "report.pdf"})
    tree.push_back(more);
  EXPECT_EQ(listTree(h.received), tree);
}

TEST(FileGet, ThirdFetchOfANameGetsTwo) {
  FilesHarness h;
  for (int i = 0; i < 3; ++i) {
    h.get(h.offer(hexId(i), 200, "v" + std::to_string(i)), "notes.txt");
    ASSERT_TRUE(h.waitScripts(i + 1u));
  }
  EXPECT_EQ(h.result(2)["path"], h.pathIn("notes (2).txt"));
  EXPECT_EQ(readAll(h.pathIn("notes.txt")), "v0");
  EXPECT_EQ(readAll(h.pathIn("notes (2).txt")), "v2");
}

TEST(FileGet, LargestBodyIsSavedOneMoreFailsWithoutPart) {
  FilesHarness h;
  const std::string biggest(kMaxServerFileBytes, 'z');
  h.get(h.offer(hexId(1), 200, biggest), "big.bin");
  h.get(h.offer(hexId(2), 200, biggest + "z"), "bigger.bin");
  ASSERT_TRUE(h.waitScripts(2));
  EXPECT_EQ(std::filesystem::file_size(h.pathIn("big.bin")), kMaxServerFileBytes);
  EXPECT_FALSE(std::filesystem::exists(h.pathIn("bigger.bin")));
  EXPECT_FALSE(std::filesystem::exists(h.pathIn("bigger.bin.part")));
  EXPECT_EQ(listTree(h.received), std::vector<std::string>{"big.bin"});
}

TEST(FileGet, StatusOtherThan200FailsAndReportsThePath) {
  FilesHarness h;
  const int statuses[] = {404, 500, 204, 403};
  int n = 0;
  for (int status : statuses) {
    h.get(h.offer(hexId(status), status, "error page"), "pic.png", "open", "", "f" + std::to_string(status));
    ASSERT_TRUE(h.waitScripts(++n));
  }
  const std::string expected = "window.deskFileDone && window.deskFileDone({\"blocked\":false,\"how\":\"open\",\"id\":\"f404\","
                               "\"ok\":false,\"path\":" + jsonDump(Json(h.pathIn("pic.png"))) + ",\"resume\":false})";
  EXPECT_EQ(h.scripts()[0], expected);
  for (int i = 0; i < n; ++i) EXPECT_EQ(h.result(i)["ok"], false);
  EXPECT_TRUE(h.desk.openedFiles.empty());
  EXPECT_TRUE(h.desk.revealedFiles.empty());
  EXPECT_TRUE(h.app.savedFiles.empty());
  EXPECT_TRUE(listTree(h.received).empty());
}

TEST(FileGet, OnlyTheExactAddressFormIsFetched) {
  FilesHarness h;
  const std::string origin = h.server.origin();
  const std::string bad[] = {
      h.fileUrl(kHex32.substr(1)),               // 31 digits
      h.fileUrl(kHex32 + "0"),                   // 33 digits
      h.fileUrl(kHex32.substr(1) + "g"),         // not hexadecimal
      h.fileUrl() + "?x=1",                      // a query
      h.fileUrl() + "#top",                      // a fragment
      h.fileUrl() + "/",                         // anything after the digits
      origin + "/DESK-FILE/" + kHex32,           // the prefix is case-sensitive
      "http://localhost:" + std::to_string(h.server.port()) + "/desk-file/" + kHex32,  // another origin
      "",
  };
  for (const auto& url : bad) h.get(url, "x.txt", "open");
  h.app.fileGet(Json{{"t", "fileGet"}, {"url", 5}, {"name", "x.txt"}});
  // A well-formed one after them, upper-case digits included, is the only one that happens.
  std::string upper = kHex32;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  h.get(h.offer(upper, 200, "ok"), "x.txt");
  ASSERT_TRUE(h.waitScripts(1));
  h.desk.pump(h.app);
  EXPECT_EQ(h.server.requests(), std::vector<std::string>{"/desk-file/" + upper});
  EXPECT_EQ(h.web.scripts.size(), 1u);
  EXPECT_EQ(listTree(h.received), std::vector<std::string>{"x.txt"});
  EXPECT_TRUE(h.desk.openedFiles.empty());
}

TEST(FileGet, RiskyFileAskedOpenIsRevealedAndReportedBlocked) {
  FilesHarness h;
  h.get(h.offer(hexId(1), 200, "MZ"), "Setup.EXE", "open", "", "s1");
  ASSERT_TRUE(h.waitScripts(1));
  const std::filesystem::path saved = h.pathIn("Setup.EXE");
  EXPECT_EQ(h.scripts()[0], "window.deskFileDone && window.deskFileDone({\"blocked\":true,\"how\":\"open\",\"id\":\"s1\","
                            "\"ok\":true,\"path\":" + jsonDump(Json(saved.string())) + ",\"resume\":false})");
  EXPECT_EQ(h.desk.revealedFiles, std::vector<std::filesystem::path>{saved});
  EXPECT_TRUE(h.desk.openedFiles.empty());
  EXPECT_EQ(h.app.savedFiles, std::vector<std::filesystem::path>{saved});
}

TEST(FileGet, PictureAskedOpenIsOpenedAndSavedOneIsNot) {
  FilesHarness h;
  h.get(h.offer(hexId(1), 200, "PNG"), "cat.png", "open", "", "cat");
  h.get(h.offer(hexId(2), 200, "PNG"), "dog.png", "later", "", "dog");
  ASSERT_TRUE(h.waitScripts(2));
  EXPECT_EQ(h.desk.openedFiles, std::vector<std::filesystem::path>{h.pathIn("cat.png")});
  EXPECT_TRUE(h.desk.revealedFiles.empty());
  EXPECT_EQ(h.resultFor("cat"), (Json{{"blocked", false}, {"how", "open"}, {"id", "cat"}, {"ok", true},
                                      {"path", h.pathIn("cat.png")}, {"resume", false}}));
  EXPECT_EQ(h.resultFor("dog")["how"], "save");
  EXPECT_EQ(h.resultFor("dog")["blocked"], false);
}

TEST(FileGet, TwoFetchesOfOneNameStartedTogetherStayApart) {
  FilesHarness h;
  h.get(h.offer(hexId(1), 200, std::string(2000000, 'a')), "same.bin");
  h.get(h.offer(hexId(2), 200, std::string(1000, 'b')), "same.bin");
  ASSERT_TRUE(h.waitScripts(2));
  EXPECT_EQ(readAll(h.pathIn("same.bin")), std::string(2000000, 'a'));
  EXPECT_EQ(readAll(h.pathIn("same (1).bin")), std::string(1000, 'b'));
  EXPECT_EQ(listTree(h.received), (std::vector<std::string>{"same (1).bin", "same.bin"}));
  EXPECT_EQ(reservedPathCount(), 0u);
}

// What is already in the received folder is never overwritten: neither the user's own ".part"
// file nor any of the numbered names up to 999.
TEST(FileGet, ExistingFilesAreNeverOverwritten) {
  std::vector<std::string> allSuffixes = {"x.txt"};
  for (int n = 1; n <= 999; ++n) allSuffixes.push_back("x (" + std::to_string(n) + ").txt");
  const struct {
    std::vector<std::string> existing;
    const char* name;
    const char* saved;
  } cases[] = {
      {{"report.pdf.part"}, "report.pdf", "report (1).pdf"},
      {allSuffixes, "x.txt", "x (1000).txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FilesHarness h;
    for (const auto& name : c.existing) writeAll(h.pathIn(name), "user's own " + name);
    h.get(h.offer(hexId(1), 200, "fresh"), c.name);
    ASSERT_TRUE(h.waitScripts(1));
    EXPECT_EQ(h.result(0)["path"], h.pathIn(c.saved));
    EXPECT_EQ(readAll(h.pathIn(c.saved)), "fresh");
    for (const auto& name : c.existing) EXPECT_EQ(readAll(h.pathIn(name)), "user's own " + name);
  }
}

TEST(FileGet, OnlyFourRunAtOnceAndTheNextFailsAtOnce) {
  FilesHarness h;
  DeskServer::Route stalled;
  stalled.body = std::string(1000, 's');
  stalled.stallAfter = 10;
  stalled.stallMs = 1500;
  h.server.setRoute("/desk-file/" + hexId(1), stalled);
  for (int i = 0; i < 5; ++i) h.get(h.fileUrl(hexId(1)), "slow.bin", "save", "", "n" + std::to_string(i));
  ASSERT_TRUE(h.waitScripts(1));
  EXPECT_EQ(h.result(0)["id"], "n4");  // refused while the four hang, before asking the server
  EXPECT_EQ(h.result(0)["ok"], false);
  ASSERT_TRUE(h.waitScripts(5));
  EXPECT_EQ(h.server.requestCount("/desk-file/" + hexId(1)), 4u);
  // Once they ended, there is room again.
  h.get(h.offer(hexId(2), 200, "x"), "after.txt");
  ASSERT_TRUE(h.waitScripts(6));
  EXPECT_EQ(h.result(5)["ok"], true);
}

TEST(FileGet, NothingIsReportedWhileClosing) {
  FilesHarness h;
  // Closing before the worker can end: a download that finished first would sit in the queue.
  h.app.closing = true;
  h.desk.postFails = true;  // as a closing window refuses posts
  h.get(h.offer(hexId(1), 200, "x"), "late.txt");
  // The worker finishes and frees its job; its name is held no longer.
  for (int i = 0; i < 3000 && reservedPathCount() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(reservedPathCount(), 0u);
  h.desk.pump(h.app);
  EXPECT_TRUE(h.web.scripts.empty());
}

TEST(FileDone, OpenAndRevealOnlyWhatThisRunSaved) {
  FilesHarness h;
  h.get(h.offer(hexId(1), 200, "text"), "notes.txt");
  h.get(h.offer(hexId(2), 200, "#!/bin/sh"), "install.sh");
  ASSERT_TRUE(h.waitScripts(2));
  writeAll(h.pathIn("other.txt"), "not saved by the shell");
  const std::string page = h.server.origin() + "/_desk.html";
  auto ask = [&](const std::string& type, const std::string& path) {
    h.web.fireWebMessage(page, jsonDump(Json{{"t", type}, {"path", path}}));
  };
  ask("fileOpenPath", h.pathIn("notes.txt"));
  ask("fileReveal", h.pathIn("notes.txt"));
  ask("fileOpenPath", h.pathIn("install.sh"));  // risky: only ever revealed
  ask("fileOpenPath", h.pathIn("other.txt"));
  ask("fileReveal", "/etc/passwd");
  std::filesystem::remove(h.pathIn("notes.txt"));
  ask("fileOpenPath", h.pathIn("notes.txt"));
  EXPECT_EQ(h.desk.openedFiles, std::vector<std::filesystem::path>{h.pathIn("notes.txt")});
  EXPECT_EQ(h.desk.revealedFiles,
            (std::vector<std::filesystem::path>{h.pathIn("notes.txt"), h.pathIn("install.sh")}));
  const std::string gone = "window.deskFileDone && window.deskFileDone({gone:true})";
  EXPECT_EQ(h.scripts(), (std::vector<std::string>{h.scripts()[0], h.scripts()[1], gone, gone, gone}));
}

TEST(FileDone, RiskyKinds) {
  FilesHarness h;
  const char* risky[] = {"a.exe", "B.BAT", "c.appref-ms", "d.url", "e.desktop", "f.sh", "g.AppImage", "h.deb",
                         "i.flatpakref", "j.py", "k.rb", "l.pl", "m.run", "n.bin", "o.zsh", "p.lnk",
                         "q.ISO", "r.vhdx", "s.msixbundle", "t.settingcontent-ms", "u.msc", "v.chm"};
  const char* safe[] = {"a.txt", "b.png", ".exe", "exe", "c.exe.txt", "d.tar.gz", "e.", "f.shx", "g.desktop.txt", "h.isolated"};
  for (const char* name : risky) EXPECT_TRUE(h.app.isRiskyFile(h.received / name)) << name;
  for (const char* name : safe) EXPECT_FALSE(h.app.isRiskyFile(h.received / name)) << name;
}

}  // namespace
