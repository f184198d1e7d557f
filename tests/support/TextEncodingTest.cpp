#include <gtest/gtest.h>

#include <string>

#include "support/TextEncoding.h"

namespace plexor {
namespace {

TEST(CodePageFromName, CpgTextsAndOptionNames) {
  struct Case {
    const char* Name;
    int CodePage;
  };
  const Case cases[] = {
      {"UTF-8", 65001},      {" utf8\r\n", 65001},
      {"65001", 65001},      {"\xEF\xBB\xBFUTF-8", 65001},
      {"932", 932},          {"cp932", 932},
      {"SJIS", 932},         {"Shift_JIS", 932},
      {"shift-jis", 932},    {"MS932", 932},
      {"Windows-31J", 932},  {"1252", 1252},
      {"936", 936},          {"949", 949},
      {"ANSI 1251", 1251},   {"ansi1250", 1250},
      {"CP1252", 1252},      {"windows-1252", 1252},
      {"8859-1", 28591},     {"88591", 28591},
      {"ISO-8859-5", 28595}, {"iso8859_15", 28605},
      {"ISO_8859-2", 28592}, {"GBK", 936},
      {"Big5", 950},         {"KOI8-R", 20866},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodePageFromName(c.Name), c.CodePage) << c.Name;
  }
  for (const char* unknown : {"", "  ", "OEM", "ANSI", "UTF-16", "CP", "ISO-8859-17", "ISO-8859-12",
                              "8859-", "0", "70000", "-1252", "1252x", "EBCDIC"}) {
    EXPECT_EQ(CodePageFromName(unknown), std::nullopt) << unknown;
  }
}

TEST(CodePageFromName, AliasesOfGdalIconvAndPythonWithCaseAndPunctuationFolded) {
  const std::pair<const char*, int> cases[] = {
      {"Big-5", 950},        {"big_5", 950},
      {"cp950", 950},        {"utf_8", 65001},
      {"U8", 65001},         {"utf-8-sig", 65001},
      {"UTF 8", 65001},      {"shift jis", 932},
      {"s_jis", 932},        {"ms_kanji", 932},
      {"csWindows31J", 932}, {"x-sjis", 932},
      {"ms936", 936},        {"euc_cn", 936},
      {"GB_2312-80", 936},   {"gb-18030", 54936},
      {"euc_kr", 949},       {"ks_c_5601-1987", 949},
      {"EUC-JP", 20932},     {"ujis", 20932},
      {"latin-1", 28591},    {"L1", 28591},
      {"latin9", 28605},     {"iso-8859-15", 28605},
      {"Cyrillic", 28595},   {"koi8_r", 20866},
      {"mac_roman", 10000},  {"win1251", 1251},
      {"CP-1252", 1252},     {"Windows_1252", 1252},
      {"IBM-850", 850},      {"tis-620", 874},
      {"US-ASCII", 20127},   {"ANSI_X3.4-1968", 20127},
  };
  for (const auto& [name, codePage] : cases) {
    EXPECT_EQ(CodePageFromName(name), codePage) << name;
  }
  for (const char* unknown : {"Big-6", "utf_16", "-utf8", "latin11", "shift_jisx", "ISO-8859"}) {
    EXPECT_EQ(CodePageFromName(unknown), std::nullopt) << unknown;
  }
}

TEST(CodePageFromLanguageDriver, KnownBytesAndSilentOnes) {
  EXPECT_EQ(CodePageFromLanguageDriver(0x13), 932);
  EXPECT_EQ(CodePageFromLanguageDriver(0x7B), 932);
  EXPECT_EQ(CodePageFromLanguageDriver(0x00), std::nullopt);
  EXPECT_EQ(CodePageFromLanguageDriver(0x57), std::nullopt);
  EXPECT_EQ(CodePageFromLanguageDriver(0xFF), std::nullopt);
  const std::pair<uint8_t, int> known[] = {
      {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x4D, 936},  {0x4E, 949},  {0x4F, 950},
      {0x58, 1252}, {0x59, 1252}, {0x64, 852},  {0x65, 866},  {0x66, 865},  {0x78, 950},
      {0x79, 949},  {0x7A, 936},  {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256}, {0xC8, 1250},
      {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
  };
  for (const auto& [ldid, codePage] : known) {
    EXPECT_EQ(CodePageFromLanguageDriver(ldid), codePage) << int{ldid};
  }
}

TEST(CodePageName, NamesForMessages) {
  EXPECT_EQ(CodePageName(65001), "UTF-8");
  EXPECT_EQ(CodePageName(932), "CP932");
  EXPECT_EQ(CodePageName(1252), "CP1252");
  EXPECT_EQ(CodePageName(28595), "ISO-8859-5");
  EXPECT_EQ(CodePageName(20866), "KOI8-R");
  // Every name we print reads back as its code page.
  for (int codePage : {65001, 932, 936, 1250, 1252, 28591, 28605, 20866, 20932, 20127}) {
    EXPECT_EQ(CodePageFromName(CodePageName(codePage)), codePage) << codePage;
  }
}

TEST(Utf8Sniffer, WellFormedNonAsciiThroughoutMeansUtf8) {
  EXPECT_TRUE(IsUtf8WithNonAscii("道路 1"));
  EXPECT_FALSE(IsUtf8WithNonAscii("road 1"));            // ASCII says nothing
  EXPECT_FALSE(IsUtf8WithNonAscii("\x93\xB9\x98\x48"));  // 道路 in code page 932
  EXPECT_FALSE(IsUtf8WithNonAscii("\xE9\x81"));          // cut, and not forgiven here

  Utf8Sniffer table;
  table.Feed("ROAD");
  EXPECT_FALSE(table.IsUtf8());
  table.Feed("東京");
  table.Feed("");
  EXPECT_TRUE(table.IsUtf8());
  EXPECT_FALSE(table.Settled());
  table.Feed("\x93\x8C\x8B\x9E");  // 東京 in code page 932
  EXPECT_FALSE(table.IsUtf8());
  EXPECT_TRUE(table.Settled());
  table.Feed("大阪");
  EXPECT_FALSE(table.IsUtf8());
}

TEST(Utf8Sniffer, ACharacterCutByAFullFieldIsForgiven) {
  Utf8Sniffer sniffer;
  sniffer.Feed("東\xE4\xBA", true);  // 東 and the start of 京
  EXPECT_TRUE(sniffer.IsUtf8());
  sniffer.Feed("\xE4\xBA", true);  // a cut alone proves nothing
  EXPECT_TRUE(sniffer.IsUtf8());
  sniffer.Feed("\xBA\xE4", true);  // broken before the end is never forgiven
  EXPECT_FALSE(sniffer.IsUtf8());

  Utf8Sniffer onlyCut;
  onlyCut.Feed("\xE4\xBA", true);
  EXPECT_FALSE(onlyCut.IsUtf8());
  Utf8Sniffer notFull;
  notFull.Feed("東\xE4\xBA", false);
  EXPECT_FALSE(notFull.IsUtf8());
}

Cp932Sniffer::Verdict VerdictOf(std::initializer_list<const char*> values) {
  Cp932Sniffer sniffer;
  int64_t record = 0;
  for (const char* value : values) sniffer.Feed(value, false, ++record);
  return sniffer.Result();
}

TEST(Cp932Sniffer, WesternBytesAreToldFromJapaneseText) {
  using V = Cp932Sniffer::Verdict;
  // Code page 1252: OPERAÇÃO reads as half-width katakana between Latin letters, Zürich's
  // ü and a trailing é start no code page 932 character, España's ñ is a user-defined one.
  EXPECT_EQ(VerdictOf({"OPERA\xC7\xC3O"}), V::Western);
  EXPECT_EQ(VerdictOf({"Z\xFCrich"}), V::Western);
  EXPECT_EQ(VerdictOf({"caf\xE9"}), V::Western);
  EXPECT_EQ(VerdictOf({"Espa\xF1"
                       "a"}),
            V::Western);
  EXPECT_EQ(VerdictOf({"\xC1REA", "Reykjav\xEDk", "S\xE3o Paulo"}), V::Western);
  // Reykjavík and São read as well-formed kanji glued to letters: a weak sign only.
  EXPECT_EQ(VerdictOf({"Reykjav\xEDk", "S\xE3o Paulo"}), V::Doubtful);

  // Japanese text, half-width katakana included, stays code page 932 without a doubt.
  EXPECT_EQ(VerdictOf({"\xC4\xB3\xB7\xAE\xB3\xC4"}), V::Cp932);          // ﾄｳｷｮｳﾄ
  EXPECT_EQ(VerdictOf({"NTT\xC4\xDE\xBA\xD3"}), V::Cp932);               // NTTﾄﾞｺﾓ
  EXPECT_EQ(VerdictOf({"\xB6\xCC\xDE\xBC\xB7 ABC", "\xB1"}), V::Cp932);  // ｶﾌﾞｼｷ ABC, ｱ
  EXPECT_EQ(VerdictOf({"\x93\x8C\x8B\x9E\x93\x73", "A\x93\x8F"}), V::Cp932);  // 東京都, A棟
  EXPECT_EQ(VerdictOf({"\xF0\x40\x93\x63"}), V::Cp932);  // a user-defined character, then 田
  EXPECT_EQ(VerdictOf({"ROAD", ""}), V::Cp932);
}

TEST(Cp932Sniffer, ABrokenValueAmongJapaneseTextIsDoubtfulAndNamesItsRecords) {
  Cp932Sniffer sniffer;
  for (int64_t r = 1; r <= 10; ++r) sniffer.Feed("\x93\xB9\x98\x48 \x82\xA0", false, r);
  sniffer.Feed("\x93\xB9\x98", false, 11);  // cut inside 路 by a field that was not full
  sniffer.Feed("\x93\xB9\x98", true, 12);   // cut by a full field: forgiven
  EXPECT_EQ(sniffer.Result(), Cp932Sniffer::Verdict::Doubtful);
  EXPECT_EQ(sniffer.SignRecords(), (std::vector<int64_t>{11}));
  EXPECT_FALSE(sniffer.Settled());

  Cp932Sniffer many;
  for (int64_t r = 1; r <= 8; ++r) many.Feed("a\xC7z \xC7", false, r);  // two signs a record
  EXPECT_EQ(many.SignRecords(), (std::vector<int64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(many.SignRecordCount(), 8);

  Cp932Sniffer japanese;
  for (int64_t r = 1; r <= 300; ++r) japanese.Feed("\x93\x8C\x8B\x9E", false, r);
  EXPECT_TRUE(japanese.Settled());
}

TEST(TextDecoder, OurTablesAndThePlatformsDecoders) {
  std::string out;
  ASSERT_TRUE(DecodeToUtf8(932, "\x93\xB9", out));
  EXPECT_EQ(out, "道");
  ASSERT_TRUE(DecodeToUtf8(65001, "ok\xFF", out));  // replaced, not appended to
  EXPECT_EQ(out, "ok\xEF\xBF\xBD");
  ASSERT_TRUE(DecodeToUtf8(1252, "caf\xE9 \x80", out));
  EXPECT_EQ(out, "café €");
  ASSERT_TRUE(DecodeToUtf8(936, "\xB5\xC0", out));
  EXPECT_EQ(out, "道");
  ASSERT_TRUE(DecodeToUtf8(28595, "\xE6", out));
  EXPECT_EQ(out, "ц");
  ASSERT_TRUE(DecodeToUtf8(20866, "\xC3", out));
  EXPECT_EQ(out, "ц");

  // An EBCDIC code page: ASCII bytes are not taken as themselves.
  ASSERT_TRUE(DecodeToUtf8(500, "\xC1\x81", out));
  EXPECT_EQ(out, "Aa");
  ASSERT_TRUE(DecodeToUtf8(500, "A", out));
  EXPECT_EQ(out, "\xC2\xA0");

  TextDecoder unknown(4711);
  EXPECT_FALSE(unknown.Available());
  out = "kept";
  int64_t count = 0;
  EXPECT_FALSE(unknown.AppendUtf8("abc", out, count));
  EXPECT_EQ(out, "kept");
}

TEST(TextDecoder, UndecodableBytesAreMarkedAndCounted) {
  TextDecoder greek(1253);
  ASSERT_TRUE(greek.Available());
  std::string out;
  int64_t count = 0;
  // 0xAA has no character in code page 1253; the bytes around it survive.
  EXPECT_TRUE(greek.AppendUtf8("\xE1\xAA\xE2", out, count));
  EXPECT_EQ(out, "α\xEF\xBF\xBDβ");
  EXPECT_EQ(count, 1);
  // A double-byte character cut by the end of the value, then the next value is clean.
  TextDecoder chinese(936);
  out.clear();
  EXPECT_TRUE(chinese.AppendUtf8("a\xB5", out, count));
  EXPECT_TRUE(chinese.AppendUtf8("\xB5\xC0", out, count));
  EXPECT_EQ(out, "a\xEF\xBF\xBD道");
  EXPECT_EQ(count, 2);
  TextDecoder utf8(65001);
  out.clear();
  EXPECT_TRUE(utf8.AppendUtf8("\xED\xA0\x80", out, count));  // a surrogate is no character
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(count, 5);
}

}  // namespace
}  // namespace plexor
