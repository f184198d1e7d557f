// The JSON oracle of the info target must refuse what a strict reader refuses, or the
// target would pass output that breaks a user's JSON tools.
#include <gtest/gtest.h>

#include "engine/ShapefileInfo.h"
#include "hostile/StrictJson.h"

namespace plexor::hostile {
namespace {

bool Accepts(std::string_view text) {
  std::string error;
  return ParseStrictJson(text, error).has_value();
}

TEST(StrictJson, ReadsWhatTheGrammarAllows) {
  std::string error;
  const auto v = ParseStrictJson(
      " {\"a\":[1,-0,0.5e+3,1E-2,true,false,null],\"b\":{},\"c\":\"\\u00e9\\ud83d\\ude00\\n\\/"
      "\"}\r\n",
      error);
  ASSERT_TRUE(v) << error;
  ASSERT_NE(v->Find("a"), nullptr);
  EXPECT_EQ(v->Find("a")->items.size(), 7u);
  EXPECT_EQ(v->Find("a")->items[2].number, "0.5e+3");
  EXPECT_EQ(v->Find("c")->text, "\xC3\xA9\xF0\x9F\x98\x80\n/");
  EXPECT_EQ(v->Find("b")->kind, JsonValue::Kind::Object);
  EXPECT_TRUE(Accepts("\"東京\""));
  EXPECT_TRUE(Accepts("[]"));
}

TEST(StrictJson, RefusesWhatLenientReadersLetPass) {
  EXPECT_FALSE(Accepts(""));
  EXPECT_FALSE(Accepts("[1,]"));
  EXPECT_FALSE(Accepts("{\"a\":1,}"));
  EXPECT_FALSE(Accepts("{\"a\":1,\"a\":2}"));  // a name twice
  EXPECT_FALSE(Accepts("[01]"));
  EXPECT_FALSE(Accepts("[1.]"));
  EXPECT_FALSE(Accepts("[.5]"));
  EXPECT_FALSE(Accepts("[+1]"));
  EXPECT_FALSE(Accepts("[NaN]"));
  EXPECT_FALSE(Accepts("[1] [2]"));
  EXPECT_FALSE(Accepts("\"tab\there\""));         // a raw control byte
  EXPECT_FALSE(Accepts("\"\\x41\""));             // no such escape
  EXPECT_FALSE(Accepts("\"\\ud800\""));           // a lone high surrogate
  EXPECT_FALSE(Accepts("\"\\udc00\\ud800\""));    // a pair the wrong way round
  EXPECT_FALSE(Accepts("\"\xC0\xAF\""));          // an overlong form
  EXPECT_FALSE(Accepts("\"\xED\xA0\x80\""));      // a surrogate written as UTF-8
  EXPECT_FALSE(Accepts("\"\xF4\x90\x80\x80\""));  // beyond U+10FFFF
  EXPECT_FALSE(Accepts("\"\x93\x8c\""));          // code page 932
  EXPECT_FALSE(Accepts("\"cut"));
  EXPECT_FALSE(Accepts(std::string(100, '[') + std::string(100, ']')));
}

// What a damaged file can put into a description: bytes of another encoding and control bytes
// in names and problems. The JSON must stay strict whatever they are.
TEST(StrictJson, InfoJsonOfHostileTextsIsStrict) {
  TShapefileInfo info;
  info.Path = "/tmp/\x93\x8c\x8b\x9e/a\"b\\c.shp";
  info.ShapeType = 1234;
  info.Records = 2;
  info.RecordsByType[1234] = 2;
  info.Bounds[0] = 1e308 * 10;
  info.Bounds[1] = -0.0;
  info.Fields.push_back({"\x01\x1F\x7F\xED\xA0\x80", '?', 255, 255, ""});
  info.Problems.push_back(std::string("nul\0here", 8) + "\xF0\x9F\x98");
  std::string error;
  const auto v = ParseStrictJson(ShapefileInfoJson(info), error);
  ASSERT_TRUE(v) << error;
  EXPECT_EQ(v->Find("records")->number, "2");
  EXPECT_EQ(v->Find("fields")->items.size(), 1u);
}

}  // namespace
}  // namespace plexor::hostile
