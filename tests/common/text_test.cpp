#include <gtest/gtest.h>

#include <string>

#include "common/text.h"

namespace {

using namespace std::string_literals;

TEST(ToWide, IllFormedInputGivesEmpty) {
  const std::string cases[] = {
      ""s,
      "\xC3"s,                  // truncated two-byte sequence
      "ab\xE2\x82"s,            // truncated three-byte sequence at the end
      "\xC0\xAF"s,              // overlong "/"
      "\xE0\x80\xAF"s,          // overlong, three bytes
      "\xF0\x82\x82\xAC"s,      // overlong, four bytes
      "a\x80z"s,                // stray continuation byte
      "\xED\xA0\x80"s,          // encoded high surrogate
      "\xED\xBF\xBF"s,          // encoded low surrogate
      "\xF4\x90\x80\x80"s,      // beyond U+10FFFF
      "\xF8\x88\x80\x80\x80"s,  // five-byte form
      "\xFF"s,
      "\xC3("s,                 // lead byte followed by a non-continuation
  };
  for (const auto& s : cases) {
    SCOPED_TRACE(testing::PrintToString(s));
    EXPECT_TRUE(toWide(s).empty());
  }
}

TEST(ToWide, WellFormedInput) {
  const struct {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"a\0b"s, u"a\0b"s},
      {"\xC3\xA4"s, u"\u00E4"},
      {"\xE2\x82\xAC"s, u"\u20AC"},
      {"\xEF\xBF\xBF"s, u"\uFFFF"},
      {"\xF0\x9F\x98\x80"s, u"\U0001F600"},
      {"\xF4\x8F\xBF\xBF"s, u"\U0010FFFF"},
      {"\x7F"s, u"\x7F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(toWide(c.in), c.out);
    EXPECT_EQ(toNarrow(c.out), c.in);
  }
}

TEST(ToNarrow, UnpairedSurrogatesGiveEmpty) {
  const std::u16string cases[] = {
      u""s,
      u"plain ascii\xD800"s,  // lone high surrogate at the end
      u"\xDC00tail"s,         // lone low surrogate
      u"\xD800\xD800"s,       // two high surrogates
      u"\xDBFF" u"a"s,        // high surrogate followed by a normal unit
  };
  for (const auto& w : cases) EXPECT_TRUE(toNarrow(w).empty());
}

TEST(LowerWide, AsciiCapitalsOnly) {
  EXPECT_EQ(lowerWide(u"HTTPS"), u"https");
  EXPECT_EQ(lowerWide(u"@[`{Az"), u"@[`{az");
  // Letters outside A-Z and surrogate pairs pass through unit by unit.
  EXPECT_EQ(lowerWide(u"\u00C4\u0130\U0001F600"), u"\u00C4\u0130\U0001F600");
}

TEST(WidePath, RoundTripsThroughPaths) {
  const std::u16string name = u"dir/\u00E4\U0001F600.txt";
  EXPECT_EQ(pathWide(widePath(name)), name);
  EXPECT_EQ(widePath(name).filename().string(), "\xC3\xA4\xF0\x9F\x98\x80.txt");
}

}  // namespace
