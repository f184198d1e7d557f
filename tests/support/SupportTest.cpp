#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "support/ByteStream.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/QvCsv.h"
#include "support/RegionalSettings.h"
#include "support/ShpBuilder.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

TEST(ByteStrings, TrimAndAsciiOnlyCase) {
  EXPECT_EQ(TrimBlanks(std::string("\x01 \tab c\r\n\0", 10)), "ab c");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(UpperAscii("data\xE9\x81\x93"), "DATA\xE9\x81\x93");
  EXPECT_EQ(LowerAscii("PLEXOR\xE9\x81\x93"), "plexor\xE9\x81\x93");
  EXPECT_TRUE(SameTextAscii("Data", "dATA"));
  EXPECT_FALSE(SameTextAscii("Data", "Dat"));
}

TEST(ByteStrings, TrimViewPointsIntoTheTextAndLinesEndAtCrLfLfOrCr) {
  const std::string text = "\x01 a b\t\x20";
  const std::string_view trimmed = TrimBlanksView(text);
  EXPECT_EQ(trimmed, "a b");
  EXPECT_EQ(trimmed.data(), text.data() + 2);
  EXPECT_TRUE(TrimBlanksView("\r\n\x7F").size() == 1);  // DEL is no blank

  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\r\nb\n\n"), (Lines{"a", "", "b", ""}));
  EXPECT_EQ(SplitLines("\n"), Lines{""});
  EXPECT_EQ(SplitLines("a\n\r"), (Lines{"a", ""}));  // LF CR is two endings
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines(std::string("a\0b", 3)), Lines{std::string("a\0b", 3)});
}

// Whatever bytes a path or a field name holds, a message stays one line of UTF-8.
TEST(ByteStrings, MessagesShowBytesThatAreNoUtf8AndControlsEscaped) {
  EXPECT_EQ(NativeToUtf8("道路/roads.shp"), "道路/roads.shp");
  EXPECT_EQ(NativeToUtf8("\x93\xB9\x98H.shp"), "\\x93\\xB9\\x98H.shp");  // code page 932 bytes
  EXPECT_EQ(PrintableUtf8("a\tb\nc\x7F"), "a\\x09b\\x0Ac\\x7F");
  EXPECT_EQ(PrintableUtf8("\xC0\xAF"), "\\xC0\\xAF");           // an overlong slash
  EXPECT_EQ(PrintableUtf8("\xED\xA0\x80"), "\\xED\\xA0\\x80");  // a surrogate
  EXPECT_EQ(PrintableUtf8("\xF0\x9F\x98\x80\xE9"), "\xF0\x9F\x98\x80\\xE9");
  EXPECT_EQ(PrintableUtf8("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");  // past U+10FFFF
}

// Tables and batch files share one rule for decimal texts: a sign and digits, nothing more;
// whoever allows blanks around them trims first.
TEST(DecimalTexts, IntegersFitTheirTypeAndCarryNoBlanks) {
  int32_t i = 99;
  for (const char* bad : {"", "+", "-", "+-5", "-+5", "++5", " 5", "5 ", "5.0", "1e3", "0x10",
                          "2147483648", "-2147483649", "99999999999999999999"}) {
    EXPECT_FALSE(ParseDecimalInt32(bad, i)) << bad;
  }
  EXPECT_EQ(i, 99);  // untouched by a refusal
  auto int32 = [](std::string_view text) {
    int32_t v = 0;
    EXPECT_TRUE(ParseDecimalInt32(text, v)) << text;
    return v;
  };
  EXPECT_EQ(int32("+5"), 5);
  EXPECT_EQ(int32("007"), 7);
  EXPECT_EQ(int32("-0"), 0);
  EXPECT_EQ(int32("2147483647"), INT32_MAX);
  EXPECT_EQ(int32("-2147483648"), INT32_MIN);

  int64_t w = 0;
  EXPECT_TRUE(ParseDecimalInt64("-9223372036854775808", w));
  EXPECT_EQ(w, INT64_MIN);
  EXPECT_TRUE(ParseDecimalInt64("+9223372036854775807", w));
  EXPECT_EQ(w, INT64_MAX);
  EXPECT_FALSE(ParseDecimalInt64("9223372036854775808", w));
  // Any number of digits is an integer text, whether or not a type holds it.
  EXPECT_TRUE(IsDecimalIntegerText("-000123456789012345678901234567890"));
  EXPECT_FALSE(IsDecimalIntegerText("12a"));
}

TEST(DecimalTexts, FloatsAreDigitsWithAPointAndAnExponentOnly) {
  auto number = [](std::string_view text) {
    double v = -1;
    EXPECT_TRUE(ParseDecimalFloat(text, v)) << text;
    return v;
  };
  EXPECT_EQ(number("1."), 1.0);
  EXPECT_EQ(number(".5"), 0.5);
  EXPECT_EQ(number("+1.5"), 1.5);
  EXPECT_EQ(number("-.5e+2"), -50.0);
  EXPECT_EQ(number("12E-1"), 1.2);
  EXPECT_TRUE(std::signbit(number("-0")));
  double v = 7;
  for (const char* bad : {"", ".", "+", "-.", "e5", "1e", "1e+", "1.5.", "1,5", " 1", "1 ", "inf",
                          "nan", "-infinity", "0x1p3", "1e400", "+-1", "1_0"}) {
    EXPECT_FALSE(ParseDecimalFloat(bad, v)) << bad;
  }
  EXPECT_EQ(v, 7);
}

TEST(Paths, PosixNamesKeepJapaneseCharactersAndDottedFolders) {
  const auto P = PathFlavor::Posix;
  EXPECT_EQ(ChangeFileExt("道.shp", ".mif", P), "道.mif");
  EXPECT_EQ(ChangeFileExt("あ.shp", ".mif", P), "あ.mif");
  EXPECT_EQ(ChangeFileExt("old.data/roads", ".mif", P), "old.data/roads.mif");
  EXPECT_EQ(ChangeFileExt("/a/roads.tar.gz", ".dbf", P), "/a/roads.tar.dbf");
  EXPECT_EQ(GetFileDir("/tmp/x/file.txt", P), "/tmp/x/");
  EXPECT_EQ(GetFileDir("file.txt", P), "");
  EXPECT_EQ(GetFileBaseName("/a.b/prog", P), "prog");
  EXPECT_EQ(GetFileBaseName("/dir/archive.tar.gz", P), "archive.tar");
  EXPECT_EQ(GetFileBaseName("/dir/.conf", P), "");
}

TEST(Paths, WindowsCodePage932NeverTakesATrailByteForASeparator) {
  const auto W = PathFlavor::WindowsCp932;
  // 0x95 0x5C is one character whose trail byte equals a backslash.
  EXPECT_EQ(ChangeFileExt("C:\\\x95\x5C.shp", ".mif", W), "C:\\\x95\x5C.mif");
  EXPECT_EQ(ChangeFileExt("C:\\\x95\x5C", ".mif", W), "C:\\\x95\x5C.mif");
  EXPECT_EQ(GetFileDir("C:\\dir\\file.txt", W), "C:\\dir\\");
  EXPECT_EQ(GetFileDir("C:name.exe", W), "C:\\");
  EXPECT_EQ(GetFileDir("C:\\\x95\x5C", W), "C:\\");
  EXPECT_EQ(GetFileBaseName("C:\\a.b\\prog.exe", W), "prog");
  EXPECT_EQ(GetFileBaseName("C:\\dir\\archive.tar.gz", W), "archive.tar");
  EXPECT_EQ(GetFileBaseName("C:\\dir\\noext", W), "noext");
  EXPECT_EQ(ChangeFileExt("C:\\old.dir\\roads", ".mif", W), "C:\\old.dir\\roads.mif");
}

TEST(Cp932, DecodesForDisplay) {
  EXPECT_EQ(Cp932ToUtf8("\x93\xB9"), "道");
  EXPECT_EQ(Utf8ToCp932("道"), "\x93\xB9");
  EXPECT_EQ(Cp932ToUtf8("a\x81"), "a\xEF\xBF\xBD");  // a cut character
}

// The comma-text rules as a two-step reading, apart from the routine's single pass: the line
// is cut into tokens (quoted field, word, comma, blanks), then the fields are read off the
// tokens with the blanks left out.
std::vector<std::string> CommaTextFields(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  auto blank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= 32; };
  enum class Kind { Field, Comma };
  struct Token {
    Kind kind;
    std::string text;
    bool lastOfLine = false;  // for a comma: the line's last character
  };
  std::vector<Token> tokens;
  for (size_t i = 0; i < line.size();) {
    if (blank(line[i])) {
      ++i;
    } else if (line[i] == ',') {
      tokens.push_back({Kind::Comma, "", i + 1 == line.size()});
      ++i;
    } else if (line[i] == '"') {
      // To the closing quote, a doubled quote standing for one; an unclosed one to the end.
      std::string text;
      size_t j = i + 1;
      for (; j < line.size(); ++j) {
        if (line[j] != '"') {
          text += line[j];
        } else if (j + 1 < line.size() && line[j + 1] == '"') {
          text += '"';
          ++j;
        } else {
          break;
        }
      }
      tokens.push_back({Kind::Field, text});
      i = j + 1;
    } else {
      const auto stop =
          std::find_if(line.begin() + i, line.end(), [&](char c) { return c == ',' || blank(c); });
      tokens.push_back({Kind::Field, std::string(line.begin() + i, stop)});
      i = static_cast<size_t>(stop - line.begin());
    }
  }
  // A field is wanted at the start and after every separating comma; a comma met where a field
  // is wanted stands after an empty one. A comma that ends the line adds an empty last field.
  std::vector<std::string> fields;
  size_t t = 0;
  while (t < tokens.size()) {
    if (tokens[t].kind == Kind::Field) {
      fields.push_back(tokens[t++].text);
    } else {
      fields.emplace_back();
    }
    if (t < tokens.size() && tokens[t].kind == Kind::Comma) {
      if (tokens[t].lastOfLine) fields.emplace_back();
      ++t;
    }
  }
  return fields;
}

TEST(GetCsvField, AgreesWithTheRulesOnEveryKindOfLine) {
  // The reference itself, on the cases the rules spell out.
  using Fields = std::vector<std::string>;
  EXPECT_EQ(CommaTextFields("a,b,"), (Fields{"a", "b", ""}));
  EXPECT_EQ(CommaTextFields(",b"), (Fields{"", "b"}));
  EXPECT_EQ(CommaTextFields("a, ,c"), (Fields{"a", "", "c"}));
  EXPECT_EQ(CommaTextFields("a, "), Fields{"a"});
  EXPECT_EQ(CommaTextFields("\"a\"b"), (Fields{"a", "b"}));
  EXPECT_EQ(CommaTextFields("a\"b c"), (Fields{"a\"b", "c"}));

  // Random lines over the bytes that matter: quotes, commas, blanks, control bytes, NUL and
  // double-byte characters.
  static constexpr char kBytes[] = {'a',    'b',    '"',  '"',    ',',    ',',    ' ', '\t',
                                    '\x01', '\x1F', '\0', '\x93', '\xB9', '\x7F', '0'};
  std::mt19937 random(1303);
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    const size_t length = random() % 14;
    for (size_t i = 0; i < length; ++i) line += kBytes[random() % sizeof kBytes];
    const Fields expected = CommaTextFields(line);
    const int count = static_cast<int>(expected.size());
    for (int n = -1; n <= count + 1; ++n) {
      const std::string want = n >= 1 && n <= count ? expected[static_cast<size_t>(n - 1)] : "";
      ASSERT_EQ(GetCsvField(line, n), want) << "field " << n << " of \"" << line << "\"";
    }
  }
}

TEST(GetCsvField, CommaTextRules) {
  const std::string row = "\"0\"\t\"C:\\my dir\\a.shp\"\t\"C:\\b.mif\"";
  EXPECT_EQ(GetCsvField(row, 1), "0");
  EXPECT_EQ(GetCsvField(row, 2), "C:\\my dir\\a.shp");
  EXPECT_EQ(GetCsvField(row, 3), "C:\\b.mif");
  EXPECT_EQ(GetCsvField(row, 4), "");
  EXPECT_EQ(GetCsvField(row, 0), "");
  EXPECT_EQ(GetCsvField(row, -1), "");
  EXPECT_EQ(GetCsvField("one two three", 3), "three");
  EXPECT_EQ(GetCsvField("a,b,", 3), "");
  EXPECT_EQ(GetCsvField("a,b,", 2), "b");
  EXPECT_EQ(GetCsvField(",b", 1), "");
  EXPECT_EQ(GetCsvField(",b", 2), "b");
  EXPECT_EQ(GetCsvField("a,,c", 3), "c");
  EXPECT_EQ(GetCsvField("\"say \"\"hi\"\"\",x", 1), "say \"hi\"");
  EXPECT_EQ(GetCsvField("\"open", 1), "open");
  EXPECT_EQ(GetCsvField(std::string("a\0b", 3), 2), "");
  EXPECT_EQ(GetCsvField("  \x93\xB9 x", 1), "\x93\xB9");
}

TEST(ByteStream, ExactReadsRaisePlainReadsTakeWhatIsThere) {
  test::TempDir dir;
  test::WriteFile(dir / "f", "abcdef");
  ByteStream s(dir / "f");
  EXPECT_EQ(s.Size(), 6);
  char b[8] = {};
  s.ReadBuffer(b, 4);
  EXPECT_EQ(std::string(b, 4), "abcd");
  EXPECT_THROW(s.ReadBuffer(b, 3), EReadError);
  EXPECT_EQ(s.Position(), 4);  // a failed exact read consumes nothing
  EXPECT_EQ(s.Read(b, 8), 2u);
  EXPECT_EQ(s.Read(b, 8), 0u);
  s.Seek(1);
  s.ReadBuffer(b, 2);
  EXPECT_EQ(std::string(b, 2), "bc");
}

TEST(ByteStream, LargeReadsAcrossTheBuffer) {
  test::TempDir dir;
  std::string data(ByteStream::kBufferSize * 2 + 77, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131);
  test::WriteFile(dir / "f", data);
  ByteStream s(dir / "f");
  std::string got(data.size(), '\0');
  s.ReadBuffer(got.data(), 10);
  s.ReadBuffer(got.data() + 10, ByteStream::kBufferSize + 5);
  s.ReadBuffer(got.data() + 10 + ByteStream::kBufferSize + 5,
               data.size() - 10 - ByteStream::kBufferSize - 5);
  EXPECT_EQ(got, data);
  EXPECT_EQ(s.Remaining(), 0);
}

TEST(ByteStream, MissingFileNamesTheFileAndTheReason) {
  try {
    ByteStream s("/nonexistent/x.shp");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(),
              "ファイル \"/nonexistent/x.shp\". No such file or directory は開けません");
  }
}

TEST(TextFileWriter, CreatesAnewWithCrLfLines) {
  test::TempDir dir;
  test::WriteFile(dir / "t.txt", "old content that is longer");
  TextFileWriter f;
  f.Create(dir / "t.txt");
  f.WriteLine("a");
  f.WriteLine("");
  f.WriteLine(std::string(TextFileWriter::kBufferSize + 3, 'x'));  // longer than the buffer
  f.Close();
  const std::string got = test::ReadFile(dir / "t.txt");
  EXPECT_EQ(got.substr(0, 5), "a\r\n\r\n");
  EXPECT_EQ(got.size(), 5 + TextFileWriter::kBufferSize + 3 + 2);
  EXPECT_EQ(got.substr(got.size() - 2), "\r\n");
}

// Written behind the caller, a large file goes past the system's cache in whole blocks: the
// part of a block left at each hand-over, a line longer than a buffer in the middle and the
// last part of a block must all land where the sequential writer would put them.
TEST(TextFileWriter, BackgroundWritesPastTheCacheKeepEveryByteInOrder) {
  test::TempDir dir;
  std::string expected;
  TextFileWriter f;
  f.SetBackgroundWrites(true);
  f.Create(dir / "t.mif");
  auto line = [&](const std::string& text) {
    f.WriteLine(text);
    expected += text + "\r\n";
  };
  for (int i = 0; i < 150000; ++i) line(std::to_string(i) + std::string(i % 37, 'a' + i % 26));
  line(std::string(TextFileWriter::kBufferSize + 5, 'L'));
  for (int i = 0; i < 50000; ++i) line(std::to_string(i));
  f.Close();
  EXPECT_NE(expected.size() % FileHandle::kDirectBlock, 0u);
  EXPECT_TRUE(test::ReadFile(dir / "t.mif") == expected);
}

TEST(FileHandle, AWriteRefusedPastTheCacheGoesThroughItInstead) {
  test::TempDir dir;
  FileHandle f;
  ASSERT_TRUE(f.CreateNew(dir / "t.bin"));
  if (!f.SetDirect(true)) GTEST_SKIP() << "no writes past the cache on this file system";
  EXPECT_TRUE(f.Direct());
  EXPECT_TRUE(f.Write("odd", 3));  // neither aligned nor a whole block
  EXPECT_FALSE(f.Direct());
  EXPECT_TRUE(f.Write("ment", 4));
  EXPECT_TRUE(f.Close());
  EXPECT_EQ(test::ReadFile(dir / "t.bin"), "oddment");
}

TEST(TextFileWriter, FullDeviceRaisesNeverReportsSuccess) {
  TextFileWriter f;
  f.Create("/dev/full");
  f.WriteLine("a line");
  EXPECT_THROW(f.Close(), EInOutError);

  TextFileWriter g;
  g.Create("/dev/full");
  EXPECT_THROW(
      {
        for (int i = 0; i < 100000; ++i) g.WriteLine("a line that fills the buffer soon");
      },
      EInOutError);
}

TEST(TextFileWriter, WritingAfterCloseRaises) {
  test::TempDir dir;
  TextFileWriter f;
  f.Create(dir / "t.txt");
  f.Close();
  EXPECT_THROW(f.WriteLine("late"), EInOutError);
}

TEST(TextFileWriter, UncreatableFileNamesTheReason) {
  TextFileWriter f;
  EXPECT_THROW(f.Create("/nonexistent/dir/out.mif"), EFCreateError);
}

TEST(Files, RegularFilesOnlyAndExtensionCase) {
  test::TempDir dir;
  test::WriteFile(dir / "ROADS.DBF", "x");
  EXPECT_TRUE(RegularFileExists(dir / "ROADS.DBF"));
  EXPECT_FALSE(RegularFileExists(dir.Path()));
  EXPECT_EQ(FindExtensionCaseVariant(dir / "ROADS.dbf"), dir / "ROADS.DBF");
  EXPECT_EQ(FindExtensionCaseVariant(dir / "roads.dbf"), dir / "roads.dbf");  // name case counts
  EXPECT_TRUE(SameFile(dir / "ROADS.DBF", dir.Path() + "/./ROADS.DBF"));
  // Outputs that do not exist yet are compared by where their spellings lead.
  EXPECT_TRUE(SameFile(dir / "new.mif", dir.Path() + "/./new.mif"));
  EXPECT_TRUE(SameFile(dir / "new.mif", dir.Path() + "//sub/../new.mif"));
  EXPECT_FALSE(SameFile(dir / "new.mif", dir / "new.mid"));
}

TEST(Files, InputsThatAreNoRegularFilesFailAtOnceWithAReason) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  EXPECT_THROW(ByteStream s(dir / "fifo"), EFOpenError);  // never blocks
  try {
    ByteStream s(dir.Path());
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("Is a directory"), std::string::npos) << e.Message();
  }
  TextFileWriter out;
  EXPECT_THROW(out.Create(dir / "fifo"), EFCreateError);  // nobody reads it
}

TEST(RegionalSettings, UnsafeValuesFallBackToTheDefaults) {
  RegionalSettings r;
  r.DecimalSeparator = ',';
  r.ShortDateFormat = "dd.mm.yy";
  const RegionalSettings safe = r.MadeSafe();
  EXPECT_EQ(safe.DecimalSeparator, '.');
  EXPECT_EQ(safe.ShortDateFormat, "yyyy/mm/dd");
  r.ShortDateFormat = "yyyy-mm-dd";
  EXPECT_EQ(r.MadeSafe().ShortDateFormat, "yyyy-mm-dd");
  r.ShortDateFormat = "yyyy,mm,dd";
  EXPECT_EQ(r.MadeSafe().ShortDateFormat, "yyyy/mm/dd");
}

}  // namespace
}  // namespace plexor
