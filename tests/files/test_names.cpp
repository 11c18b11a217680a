// The naming rules: cleaned file names, folders below the received folder, numbered candidates,
// and the holds that keep concurrent saves apart.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "app/SavePlaces.h"
#include "files/FileJob.h"
#include "files/Saving.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"
#include "support/TempDir.h"
#include "FilesHarness.h"

namespace {

std::string clean(const std::string& name) { return toNarrow(cleanFileName(toWide(name))); }

// The cases that FileGet.NamesAndFoldersLandInTheReceivedFolder sends through a real fetch are not
// repeated here.
TEST(CleanFileName, Table) {
  const std::string long150 = std::string(146, 'a') + ".pdf";
  struct Case {
    std::string given, expected;
  } cases[] = {
      {"C:\\Users\\x\\report.pdf", "report.pdf"},
      {"C:report.pdf", "report.pdf"},
      {"lpt3.tar", "_lpt3.tar"},
      {"con.tar.gz", "_con.tar.gz"},
      {"nul .txt", "_nul .txt"},
      {"LPT9", "_LPT9"},
      {"com0.txt", "com0.txt"},
      {".con", ".con"},
      {"<>:\"|x", "_____x"},
      {"tab\there\x01", "tab_here_"},
      {"..", "_"},
      {"name. . .", "name"},
      {". . .", "_"},
      {"dir/", "_"},
      {long150, long150.substr(30)},
  };
  for (const auto& c : cases) EXPECT_EQ(clean(c.given), c.expected) << c.given;
}

TEST(CleanFileName, LongNamesStayWritable) {
  // 100 three-byte characters: within 120 units but too long for a file-system name in UTF-8.
  std::string cjk;
  for (int i = 0; i < 100; ++i) cjk += "\xe6\x96\x87";
  const std::string cleaned = clean(cjk + ".txt");
  // Cut to what the file system takes: 230 UTF-8 bytes here, or kept whole where it counts units.
  EXPECT_EQ(cleaned.size(), kFileNamesCountBytes ? 229u : cjk.size() + 4);
  EXPECT_EQ(cleaned.substr(cleaned.size() - 4), ".txt");
  // Surrogate pairs are never cut in half: the result still has a UTF-8 form.
  std::string emoji = "a";  // odd offset: the 120-unit cut lands inside a pair
  for (int i = 0; i < 70; ++i) emoji += "\xf0\x9f\x98\x80";
  EXPECT_FALSE(clean(emoji).empty());
  EXPECT_EQ(cleanFileName(toWide(emoji)).size() % 2, 0u);
}

TEST(SaveFolder, Table) {
  TempDir r("received");
  const std::string level100(100, 'd');
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += "l" + std::to_string(i) + "/";
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += (i ? "/l" : "l") + std::to_string(i);
  struct Case {
    std::string dir, expected;
  } cases[] = {
      {"", ""},
      {"a\\..\\..\\b", "a/b"},
      {"/abs/path", "abs/path"},
      {"x. ./ y /", "x/ y"},
      {"con/nul.txt", "_con/_nul.txt"},
      {"a?b", "a_b"},
      {"con." + std::string(76, 'a') + ".txt", "_con." + std::string(75, 'a')},
      {"...../....", ""},
      {level100, level100.substr(0, 80)},
      {deep, sixteen},
  };
  for (const auto& c : cases) {
    const auto folder = saveFolderUnder(r.path(), c.dir);
    EXPECT_EQ(std::filesystem::relative(folder, r.path()).generic_string(), c.expected.empty() ? "." : c.expected)
        << c.dir;
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << c.dir;
  }
}

TEST(SaveFolder, FallsBackWhenTheFolderCannotBeMade) {
  TempDir r("received");
  writeAll(r / "taken", "a file, not a folder");
  EXPECT_EQ(saveFolderUnder(r.path(), "taken/sub"), r.path());
}

TEST(ReceivedFolder, DownloadsElseDataFolder) {
  FakeDesktop desk;
  FakeWebHost web;
  App app(desk, web);
  app.dataDir = desk.temp().path() / "data";
  EXPECT_EQ(receivedFolder(app), *desk.downloads);
  desk.downloads = std::filesystem::path();
  EXPECT_EQ(receivedFolder(app), app.dataDir / "received");
  desk.downloads.reset();
  EXPECT_EQ(receivedFolder(app), app.dataDir / "received");
  EXPECT_TRUE(std::filesystem::is_directory(app.dataDir / "received"));
}

TEST(NumberedName, Table) {
  struct Case {
    const char* name;
    std::uint64_t n;
    const char* expected;
  } cases[] = {
      {"report.pdf", 1, "report (1).pdf"},
      {"report.pdf", 2, "report (2).pdf"},
      {"archive.tar.gz", 1, "archive.tar (1).gz"},
      {".profile", 2, ".profile (2)"},
      {"README", 1000, "README (1000)"},
      {"x.", 3, "x (3)."},
  };
  for (const auto& c : cases) EXPECT_EQ(toNarrow(numberedName(toWide(c.name), c.n)), c.expected);
}

TEST(ReservedPath, HeldNamesAndTheirPartsAreNeverHandedOutTwice) {
  TempDir r("received");
  auto first = reserveFreePath(r.path(), DESK_W("a.txt"));
  auto second = reserveFreePath(r.path(), DESK_W("a.txt"));
  EXPECT_EQ(first.path(), r / "a.txt");
  EXPECT_EQ(second.path(), r / "a (1).txt");
  // "a.txt.part" is the part file of the first save: not a name of its own while held.
  auto part = reserveFreePath(r.path(), DESK_W("a.txt.part"));
  EXPECT_EQ(part.path(), r / "a.txt (1).part");
  first.release();
  EXPECT_EQ(reserveFreePath(r.path(), DESK_W("a.txt")).path(), r / "a.txt");
}

TEST(ReservedPath, ConcurrentSavesGetDistinctNames) {
  TempDir r("received");
  const std::size_t before = reservedPathCount();
  std::vector<std::vector<ReservedPath>> held(4);
  std::vector<std::thread> threads;
  for (auto& mine : held)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) mine.push_back(reserveFreePath(r.path(), DESK_W("same.bin")));
    });
  for (auto& t : threads) t.join();
  std::set<std::filesystem::path> paths;
  for (const auto& mine : held)
    for (const auto& p : mine) paths.insert(p.path());
  EXPECT_EQ(paths.size(), 200u);
  held.clear();
  EXPECT_EQ(reservedPathCount(), before);
}

TEST(ReservedPath, ADanglingLinkIsSomethingThere) {
  TempDir r("received");
  std::error_code ec;
  std::filesystem::create_symlink(r / "nowhere", r / "link.txt", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  EXPECT_EQ(reserveFreePath(r.path(), DESK_W("link.txt")).path(), r / "link (1).txt");
}

}  // namespace
