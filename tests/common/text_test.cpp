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
    WString out;
  } cases[] = {
      {"a\0b"s, DESK_W("a\0b"s)},
      {"\xC3\xA4"s, DESK_W("\u00E4")},
      {"\xE2\x82\xAC"s, DESK_W("\u20AC")},
      {"\xEF\xBF\xBF"s, DESK_W("\uFFFF")},
      {"\xF0\x9F\x98\x80"s, DESK_W("\U0001F600")},
      {"\xF4\x8F\xBF\xBF"s, DESK_W("\U0010FFFF")},
      {"\x7F"s, DESK_W("\x7F")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(toWide(c.in), c.out);
    EXPECT_EQ(toNarrow(c.out), c.in);
  }
}

TEST(ToNarrow, UnpairedSurrogatesGiveEmpty) {
  const WString cases[] = {
      DESK_W(""s),
      DESK_W("plain ascii\xD800"s),  // lone high surrogate at the end
      DESK_W("\xDC00tail"s),         // lone low surrogate
      DESK_W("\xD800\xD800"s),       // two high surrogates
      DESK_W("\xDBFF") DESK_W("a"s),        // high surrogate followed by a normal unit
  };
  for (const auto& w : cases) EXPECT_TRUE(toNarrow(w).empty());
}

TEST(LowerWide, AsciiCapitalsOnly) {
  EXPECT_EQ(lowerWide(DESK_W("HTTPS")), DESK_W("https"));
  EXPECT_EQ(lowerWide(DESK_W("@[`{Az")), DESK_W("@[`{az"));
  // Letters outside A-Z and surrogate pairs pass through unit by unit.
  EXPECT_EQ(lowerWide(DESK_W("\u00C4\u0130\U0001F600")), DESK_W("\u00C4\u0130\U0001F600"));
}

TEST(WidePath, RoundTripsThroughPaths) {
  const WString name = DESK_W("dir/\u00E4\U0001F600.txt");
  EXPECT_EQ(pathWide(widePath(name)), name);
  EXPECT_EQ(widePath(name).filename().string(), "\xC3\xA4\xF0\x9F\x98\x80.txt");
}

}  // namespace
