// Putting finished files in place: never over anything that exists, never executable, marked.
#include <gtest/gtest.h>

#include "files/FileJob.h"
#include "files/Saving.h"
#include "support/PlatformFacts.h"
#include "support/TempDir.h"
#include "FilesHarness.h"

namespace {

TEST(PlaceSavedFile, TakesTheNextNameWhenTheChosenOneAppeared) {
  TempDir r("received");
  FileJob job;
  job.reservation = reserveFreePath(r.path(), DESK_W("report.pdf"));
  job.path = job.reservation.path();
  writeAll(r / "incoming", "downloaded");
  writeAll(r / "report.pdf", "appeared meanwhile");  // and "report (1).pdf" is free
  EXPECT_TRUE(placeSavedFile(job, r / "incoming", DESK_W("https://example.test/f")));
  EXPECT_TRUE(job.ok);
  EXPECT_EQ(job.path, r / "report (1).pdf");
  EXPECT_TRUE(isPathReserved(job.path));
  EXPECT_FALSE(isPathReserved(r / "report.pdf"));
  EXPECT_EQ(readAll(r / "report.pdf"), "appeared meanwhile");
  EXPECT_EQ(readAll(job.path), "downloaded");
  EXPECT_FALSE(std::filesystem::exists(r / "incoming"));
}

TEST(PlaceSavedFile, NeverExecutableAndMarkedWithItsAddress) {
  TempDir r("received");
  FileJob job;
  job.reservation = reserveFreePath(r.path(), DESK_W("run.sh"));
  job.path = job.reservation.path();
  writeAll(r / "incoming", "#!/bin/sh\n");
  makeExecutable(r / "incoming");
  ASSERT_TRUE(placeSavedFile(job, r / "incoming", DESK_W("http://127.0.0.1:1/desk-file/ab")));
  EXPECT_FALSE(isExecutable(job.path));
  if (internetMarksWork(r.path())) {
    EXPECT_EQ(internetMarkOf(job.path), expectedInternetMark("http://127.0.0.1:1/desk-file/ab"));
  }
}

TEST(PlaceSavedFile, FailureLeavesThePartFile) {
  TempDir r("received");
  FileJob job;
  job.reservation = reserveFreePath(r.path() / "gone", DESK_W("a.txt"));  // its folder does not exist
  job.path = job.reservation.path();
  writeAll(r / "incoming", "x");
  EXPECT_FALSE(placeSavedFile(job, r / "incoming", WString()));
  EXPECT_FALSE(job.ok);
  EXPECT_TRUE(std::filesystem::exists(r / "incoming"));
}

TEST(MoveFileNoReplace, AcrossFileSystemsToo) {
  TempDir r("received");
  const auto other = otherFileSystemFolder();
  if (!other) GTEST_SKIP() << "no second file system";
  const auto source = *other / ("desk-files-test-" + r.path().filename().string());
  writeAll(source, "across");
  writeAll(r / "taken", "mine");
  EXPECT_EQ(moveFileNoReplace(source, r / "taken"), FileOpResult::Exists);
  EXPECT_EQ(readAll(r / "taken"), "mine");
  EXPECT_EQ(moveFileNoReplace(source, r / "moved"), FileOpResult::Done);
  EXPECT_EQ(readAll(r / "moved"), "across");
  EXPECT_FALSE(std::filesystem::exists(source));
  std::filesystem::remove(source);
}

}  // namespace
