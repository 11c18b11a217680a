// Receiving records into a part file: set-up and resume, and the record opener.
#include <gtest/gtest.h>

#include "LanPeers.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "support/TempDir.h"

namespace {

constexpr std::uint64_t MiB = 1048576;

}  // namespace

TEST(LanFrames, SetUpKeepsWholeRecordsOnly) {
  TempDir dir("frames");
  const struct { std::uint64_t existing; std::uint64_t total; std::uint64_t keep; std::uint32_t next; } cases[] = {
      {0, 10 * MiB, 0, 0},
      {3 * MiB + MiB / 2, 10 * MiB, 3 * MiB, 3},
      {10 * MiB, 10 * MiB, 10 * MiB, 10},
      {12 * MiB, 10 * MiB + 5, 10 * MiB + 5, 11},  // longer than the file: cut to the total
  };
  for (const auto& c : cases) {
    const auto part = dir / "p.part";
    std::filesystem::remove(part);
    if (c.existing) std::filesystem::resize_file((writeFile(part, ""), part), c.existing);
    LanFrames frames(kKeyHex, part, c.total);
    ASSERT_TRUE(frames.ready);
    EXPECT_EQ(frames.received, c.keep);
    EXPECT_EQ(frames.nextIndex, c.next);
    EXPECT_EQ(std::filesystem::file_size(part), c.keep);
  }
}

TEST(LanFrames, RefusedSetUpLeavesThePartFileAlone) {
  TempDir dir("frames");
  const auto part = dir / "p.part";
  writeFile(part, "abc");
  for (const auto& [key, total] : {std::pair{std::string(kKeyHex), std::uint64_t{0}},
                                   std::pair{std::string(64, 'z'), std::uint64_t{10}},
                                   std::pair{std::string(62, 'a'), std::uint64_t{10}}}) {
    LanFrames frames(key, part, total);
    EXPECT_FALSE(frames.ready);
    EXPECT_EQ(readFile(part), "abc");
  }
}

TEST(LanFrames, OpensRecordsAcrossAnySplit) {
  TempDir dir("frames");
  const std::string plain = randomBytes(2 * MiB + 100);
  const std::string stream = joined(sealRecords(plain));
  for (std::size_t piece : {std::size_t{1} << 20, std::size_t{3}, std::size_t{65537}, stream.size()}) {
    const auto part = dir / ("p" + std::to_string(piece));
    LanFrames frames(kKeyHex, part, plain.size());
    // Byte-by-byte feeding of 2 MiB is slow; small pieces cover the first record's head only.
    std::size_t at = 0;
    while (at < stream.size()) {
      const std::size_t n = std::min(piece == 3 && at > 100 ? std::size_t{1} << 20 : piece, stream.size() - at);
      ASSERT_TRUE(frames.feed(std::string_view(stream).substr(at, n)));
      at += n;
    }
    frames.close();
    EXPECT_EQ(frames.received, plain.size());
    EXPECT_EQ(frames.nextIndex, 3u);
    EXPECT_EQ(readFile(part), plain);
  }
}

TEST(LanFrames, BrokenStreamsAreRefused) {
  TempDir dir("frames");
  const std::string plain = randomBytes(2 * MiB + 10);
  const auto records = sealRecords(plain);
  const auto key = openGcmKey(kKeyHex);
  auto lengthOf = [](std::uint32_t l) {
    return std::string{static_cast<char>(l >> 24), static_cast<char>(l >> 16), static_cast<char>(l >> 8),
                       static_cast<char>(l)};
  };
  std::string tampered = records[0];
  tampered[100] ^= 1;
  const struct { const char* what; std::string stream; } cases[] = {
      {"length 28", lengthOf(28) + std::string(28, 'x')},
      {"length 1,048,605", lengthOf(1048605)},
      {"tampered", tampered},
      {"reordered", records[1] + records[0]},
      {"short record before the end", *sealRecord(*key, 0, std::string(1000, 'a')) + records[1]},
      {"more than the total", joined(records) + *sealRecord(*key, 3, "extra")},
  };
  for (const auto& c : cases) {
    LanFrames frames(kKeyHex, dir / "p.part", plain.size());
    const bool ok = frames.feed(c.stream);
    EXPECT_FALSE(ok) << c.what;
    frames.close();
    std::filesystem::remove(dir / "p.part");
  }
  // Resuming with the wrong next index fails on the first record.
  writeFile(dir / "q.part", plain.substr(0, MiB));
  LanFrames resumed(kKeyHex, dir / "q.part", plain.size());
  EXPECT_EQ(resumed.nextIndex, 1u);
  EXPECT_FALSE(resumed.feed(records[0]));
}
