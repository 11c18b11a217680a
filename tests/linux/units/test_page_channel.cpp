// The page channel: which envelopes reach the shell, and which handed files a message may name.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "PageChannel.h"
#include "support/TempDir.h"

namespace {
const std::string kToken = "0123456789abcdef0123456789abcdef";
}

TEST(PageChannel, TokensAreFreshAndHex) {
  const std::string a = newPageToken();
  const std::string b = newPageToken();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
}

TEST(PageChannel, OnlyEnvelopesWithTheTokenAreOpened) {
  struct Case {
    const char* name;
    std::string envelope;
    bool opened;
    std::string json;
  };
  const std::vector<Case> cases = {
      {"token and message", R"({"k":")" + kToken + R"(","m":"{\"t\":\"press\",\"down\":true}"})", true,
       R"({"t":"press","down":true})"},
      {"no message", R"({"k":")" + kToken + R"("})", true, "null"},
      {"wrong token", R"({"k":"0123456789abcdef0123456789abcdee","m":"{}"})", false, ""},
      {"empty token", R"({"k":"","m":"{}"})", false, ""},
      {"longer token", R"({"k":")" + kToken + R"(0","m":"{}"})", false, ""},
      {"token not a string", R"({"k":1,"m":"{}"})", false, ""},
      {"bare message", R"({"t":"hide","ms":100})", false, ""},
      {"not JSON", "hide", false, ""},
      {"a string", R"("{\"k\":\")" + kToken + R"(\"}")", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto opened = openEnvelope(c.envelope, kToken);
    ASSERT_EQ(opened.has_value(), c.opened);
    if (opened) {
      EXPECT_EQ(opened->json, c.json);
    }
  }
  // Without a token of its own the shell hears nobody.
  EXPECT_FALSE(openEnvelope(R"({"k":"","m":"{}"})", ""));
}

TEST(PageChannel, FileDescriptionNeedsAllThreeParts) {
  const std::string head = R"({"k":")" + kToken + R"(","m":"{}","f":)";
  EXPECT_TRUE(openEnvelope(head + R"({"name":"a.txt","size":3,"lastModified":1700000000000}})", kToken)->file);
  EXPECT_FALSE(openEnvelope(head + R"({"name":"a.txt","size":3}})", kToken)->file);
  EXPECT_FALSE(openEnvelope(head + R"({"name":"a.txt","size":-1,"lastModified":1}})", kToken)->file);
  EXPECT_FALSE(openEnvelope(head + R"({"name":5,"size":3,"lastModified":1}})", kToken)->file);
}

TEST(HandedFiles, MatchOnlyAFileTheUserHandedOverByNameSizeAndTime) {
  TempDir temp("handed");
  const auto file = temp / "report.txt";
  std::ofstream(file) << "hello";
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  const std::int64_t modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
  std::ofstream(temp / "other.txt") << "hello";

  HandedFiles handed;
  EXPECT_FALSE(handed.match({"report.txt", 5, modified}));
  handed.remember(file);
  handed.remember(file);
  EXPECT_EQ(handed.size(), 1u);

  struct Case {
    const char* name;
    FileDescription description;
    bool matches;
  };
  const Case cases[] = {
      {"all three", {"report.txt", 5, modified}, true},
      {"time rounded up", {"report.txt", 5, modified + 1}, true},
      {"whole seconds, as the web engine gives it", {"report.txt", 5, info.st_mtim.tv_sec * 1000}, true},
      {"other name", {"other.txt", 5, modified}, false},
      {"other size", {"report.txt", 4, modified}, false},
      {"other time", {"report.txt", 5, modified - 1000}, false},
      {"a path as name", {temp.path().string() + "/report.txt", 5, modified}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(handed.match(c.description).has_value(), c.matches);
  }
  // Changed since it was handed over: no longer the same file.
  std::ofstream(file, std::ios::app) << "!";
  EXPECT_FALSE(handed.match({"report.txt", 5, modified}));
  handed.forget();
  EXPECT_FALSE(handed.match({"report.txt", 6, modified}));
}
