#include <gtest/gtest.h>

#include <fstream>

#include "common/json.h"
#include "support/TempDir.h"

namespace {

TEST(LoadJsonFile, AnythingButAnObjectGivesEmptyObject) {
  TempDir dir("json");
  const char* contents[] = {"[1,2]", "\"x\"", "", "{\"server\":", "42", "{\"a\":1} // note",
                            "/* c */ {\"a\":1}", "null"};
  for (const char* text : contents) {
    SCOPED_TRACE(text);
    {
      std::ofstream(dir / "c.json", std::ios::binary) << text;
    }
    const Json v = loadJsonFile(dir / "c.json");
    EXPECT_TRUE(v.is_object());
    EXPECT_TRUE(v.empty());
  }
  EXPECT_EQ(loadJsonFile(dir / "missing.json"), Json::object());
  {
    std::ofstream(dir / "c.json", std::ios::binary) << "{\"server\":\"https://a\"}";
  }
  EXPECT_EQ(jsonString(loadJsonFile(dir / "c.json"), "server"), "https://a");
}

TEST(ParseJson, MalformedIsDiscardedNotThrown) {
  EXPECT_TRUE(parseJson("{").is_discarded());
  EXPECT_TRUE(parseJson("{\"a\":1}/*x*/").is_discarded());
  EXPECT_TRUE(parseJson("").is_discarded());
  EXPECT_TRUE(parseJson("{\"a\":1}").is_object());
}

TEST(JsonReaders, KindMustMatch) {
  const Json m = parseJson(
      R"({"scale":"2","down":1,"t":true,"f":false,"n":null,"i":-3,"u":7,"d":2.5,"w":4.0,)"
      R"("big":18446744073709551615,"s":"x","a":[1],"o":{}})");
  ASSERT_TRUE(m.is_object());

  EXPECT_EQ(jsonNumber(m, "scale"), std::nullopt);
  EXPECT_EQ(jsonBool(m, "down"), std::nullopt);
  EXPECT_FALSE(jsonIsTrue(m, "down"));
  EXPECT_TRUE(jsonIsTrue(m, "t"));
  EXPECT_FALSE(jsonIsTrue(m, "f"));
  EXPECT_EQ(jsonBool(m, "f"), false);
  EXPECT_EQ(jsonString(m, "n"), std::nullopt);
  EXPECT_EQ(jsonString(m, "s"), "x");
  EXPECT_EQ(jsonString(m, "missing"), std::nullopt);

  EXPECT_EQ(jsonNumber(m, "i"), -3.0);
  EXPECT_EQ(jsonNumber(m, "u"), 7.0);
  EXPECT_EQ(jsonNumber(m, "d"), 2.5);

  const struct {
    const char* key;
    std::optional<std::uint64_t> value;
  } unsignedCases[] = {{"u", 7},           {"w", 4},        {"i", std::nullopt},
                       {"d", std::nullopt}, {"scale", std::nullopt},
                       {"big", 18446744073709551615ull}};
  for (const auto& c : unsignedCases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(jsonUnsigned(m, c.key), c.value);
  }
  EXPECT_EQ(jsonUnsigned(parseJson(R"({"x":1e300})"), "x"), std::nullopt);

  EXPECT_NE(jsonArray(m, "a"), nullptr);
  EXPECT_EQ(jsonArray(m, "o"), nullptr);
  EXPECT_NE(jsonObject(m, "o"), nullptr);
  EXPECT_EQ(jsonObject(m, "a"), nullptr);

  // Readers on a value that is not an object find nothing.
  const Json notObject = parseJson("[1]");
  EXPECT_EQ(jsonString(notObject, "0"), std::nullopt);
  EXPECT_FALSE(jsonIsTrue(parseJson("{"), "t"));
}

TEST(JsonDump, CompactSortedRawUtf8) {
  Json o = Json::object();
  o["t"] = 1;
  o["id"] = "a1";
  o["ok"] = true;
  EXPECT_EQ(jsonDump(o), R"({"id":"a1","ok":true,"t":1})");
  EXPECT_EQ(jsonDump(Json("\xC3\xA4\x01\x1f")), "\"\xC3\xA4\\u0001\\u001f\"");
  // A stray byte is replaced instead of ending the process with an exception.
  EXPECT_EQ(jsonDump(Json("a\xFF")), "\"a\xEF\xBF\xBD\"");
}

TEST(ScriptString, EscapesForAScriptLiteral) {
  EXPECT_EQ(scriptString("it's \"ok\"\n"), DESK_W("\"it's \\\"ok\\\"\\n\""));
  EXPECT_EQ(scriptString("\\ \t\b\f\r"), DESK_W("\"\\\\ \\t\\b\\f\\r\""));
  EXPECT_EQ(scriptString("\xE2\x82\xAC"), DESK_W("\"\u20AC\""));
}

}  // namespace
