#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

#include "dbf/localDbf.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/NumberText.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;

// Three rows of a NAME/N table; the middle one is deleted.
DbfBuilder LiveDeadLive() {
  return DbfBuilder()
      .Field("NAME", 'C', 6)
      .Field("N", 'N', 4)
      .Record({"a", "1"})
      .Deleted({"b", "2"})
      .Record({"c", "3"});
}

class LocalDbfTest : public ::testing::Test {
 protected:
  std::string Put(const DbfBuilder& b, int64_t truncateTo = -1) {
    b.Write(path, truncateTo);
    return path;
  }
  TLocalDbf& OpenTable(const DbfBuilder& b, bool readOnly = false) {
    Put(b);
    table.SetTableName(path);
    table.SetReadOnly(readOnly);
    table.Open();
    return table;
  }
  // Nobody holds the file: an exclusive lock can be taken at once.
  bool FileIsFree() {
    FileHandle h;
    return h.OpenRead(path) && h.Lock(FileLock::Exclusive);
  }
  std::string Names() {
    std::string s;
    for (table.First(); !table.Eof(); table.Next()) s += table.FieldAsString(0);
    return s;
  }

  test::TempDir dir;
  std::string path = dir / "t.dbf";
  TLocalDbf table;
};

template <typename E>
void ExpectError(const std::function<void()>& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

// ---------------------------------------------------------------------------------------------

TEST_F(LocalDbfTest, OpenMapsDescriptorsToFieldDefinitions) {
  OpenTable(DbfBuilder()
                .DataAddress(0x7777)  // must not move the fields
                .Field("NAME", 'C', 10, 3)
                .Field("COUNT", 'N', 5)
                .Field("RATE", 'N', 8, 2)
                .Field("DAY", 'D', 8)
                .Field("OK", 'L', 1)
                .Field("ELEVENCHARS", 'C', 2)
                .Field("PAD  ", 'C', 1)
                .Record({"abc", "42", "1.50", "20040115", "T", "zz", "q"}));
  ASSERT_EQ(table.FieldCount(), 7);
  const TFieldDef& name = table.FieldDef(0);
  EXPECT_EQ(name.FieldName, "NAME");
  EXPECT_EQ(name.DataType, TFieldType::ftString);
  EXPECT_EQ(name.Size, 10);
  EXPECT_EQ(table.FieldDef(1).DataType, TFieldType::ftInteger);
  EXPECT_EQ(table.FieldDef(2).DataType, TFieldType::ftFloat);
  EXPECT_EQ(table.FieldDef(2).Size, 0);
  EXPECT_EQ(table.FieldDef(3).DataType, TFieldType::ftDate);
  EXPECT_EQ(table.FieldDef(4).DataType, TFieldType::ftBoolean);
  EXPECT_EQ(table.FieldDef(5).FieldName, "ELEVENCHARS");
  EXPECT_EQ(table.FieldDef(6).FieldName, "PAD  ");
  EXPECT_EQ(table.FieldDef(6).FieldNo, 7);
  // Fields packed from byte 1 whatever the data addresses say.
  EXPECT_EQ(table.FieldAsString(0), "abc");
  EXPECT_EQ(table.FieldAsString(1), "42");
  EXPECT_EQ(table.FieldAsString(2), "1.5");
  EXPECT_EQ(table.FieldAsString(6), "q");
  EXPECT_THROW(table.FieldDef(7), EListError);
}

TEST_F(LocalDbfTest, DescriptorsEndAtTheTerminatorOrTheHeaderLength) {
  OpenTable(DbfBuilder().RecordLength(1).RawRecord(" "));
  EXPECT_EQ(table.FieldCount(), 0);
  table.Close();
  DbfBuilder three = DbfBuilder().Field("A", 'C', 1).Field("B", 'C', 1).Field("C", 'C', 1);
  OpenTable(DbfBuilder(three).HeaderTail("\x0D\x00").Record({"a", "b", "c"}));
  EXPECT_EQ(table.FieldCount(), 3);
  table.Close();
  // No terminator: the header length alone bounds the descriptors.
  OpenTable(DbfBuilder(three).HeaderTail("").Record({"a", "b", "c"}));
  EXPECT_EQ(table.FieldCount(), 3);
  EXPECT_EQ(table.FieldAsString(2), "c");
  table.Close();
  // Room after the terminator, whatever it holds, is not read as descriptors; the records
  // still start at the header length.
  for (const std::string& tail :
       {"\x0D" + std::string(263, '\0'), "\x0D" + std::string(263, 'x'), std::string("\x0D\x0D")}) {
    OpenTable(DbfBuilder(three).HeaderTail(tail).Record({"a", "b", "c"}).Record({"d", "e", "f"}));
    EXPECT_EQ(table.FieldCount(), 3);
    table.Next();
    EXPECT_EQ(table.FieldAsString(0) + table.FieldAsString(2), "df");
    table.Close();
  }
}

TEST_F(LocalDbfTest, OpenFailuresNameTheFileAndTheCheckAndReleaseTheFile) {
  table.SetTableName(dir / "missing.dbf");
  ExpectError<ELocalDbfError>(
      [&] { table.Open(); },
      "DBFファイル \"" + dir / "missing.dbf" + "\" を開けません: テーブルが見つかりません");

  const DbfBuilder ok = DbfBuilder().Field("A", 'C', 2).Record({"x"});
  struct Case {
    DbfBuilder table;
    int64_t truncateTo;
    std::string message;  // after the file's name
  };
  const std::string read = "ストリームからの読み込みエラー";
  const std::string broken = "DBFのヘッダーが壊れています。 ";
  const std::string unsupported = "対応していないフィールド型です。 ";
  const std::vector<Case> cases = {
      {ok, 20, read + " (ヘッダーに 32 バイト必要ですが、ファイルは 20 バイトです)"},
      {ok, 0, read + " (ヘッダーに 32 バイト必要ですが、ファイルは 0 バイトです)"},
      {DbfBuilder(ok).Version(0xFB), -1, "このバージョンのDBFには対応してません (バージョン 0xFB)"},
      {DbfBuilder(ok).MdxFlag(1), -1, "mdxのあるDBFはreadOnlyでしかオープンできません"},
      {DbfBuilder().Field("A", 'n', 8), -1, unsupported + "(フィールド \"A\" 型 n)"},
      {DbfBuilder().Field("N", 'N', 3).Field("\x83\x81\x83\x82", 'M', 10), -1,
       unsupported + "(フィールド \"メモ\" 型 M)"},
      {DbfBuilder().Field("X", '\x83', 2), -1, unsupported + "(フィールド \"X\" 型 0x83)"},
      // B is a memo block number outside Visual FoxPro; binary fields need their own width.
      {DbfBuilder().Field("B", 'B', 8), -1, unsupported + "(フィールド \"B\" 型 B)"},
      {DbfBuilder().Version(0x30).Field("B", 'B', 10), -1, unsupported + "(フィールド \"B\" 型 B)"},
      {DbfBuilder().Field("I", 'I', 2), -1, unsupported + "(フィールド \"I\" 型 I)"},
      {DbfBuilder().Field("T", 'T', 4), -1, unsupported + "(フィールド \"T\" 型 T)"},
      {DbfBuilder().Field("P", '+', 4), -1, unsupported + "(フィールド \"P\" 型 +)"},
      {DbfBuilder().Version(0x04).Field("A", 'C', 2).HeaderLength(60), -1,
       broken + "ヘッダー長 60 バイトは最小の 69 バイトに足りません"},
      {DbfBuilder().Field("Name", 'C', 2).Field("NAME", 'C', 2), -1,
       "項目名 'NAME' が重複しています (フィールド 1 と 2)"},
      {DbfBuilder().Field("\x96\xBC", 'C', 2).Field("N", 'N', 2).Field("\x96\xBC", 'C', 2), -1,
       "項目名 '名' が重複しています (フィールド 1 と 3)"},
      {DbfBuilder(ok).RecordLength(2), -1,
       broken + "フィールドに 3 バイト必要ですが、レコード長は 2 バイトです"},
      {DbfBuilder().RecordLength(0).RawRecord(""), -1,
       broken + "フィールドに 1 バイト必要ですが、レコード長は 0 バイトです"},
      {DbfBuilder(ok).HeaderLength(32), -1,
       broken + "ヘッダー長 32 バイトは最小の 33 バイトに足りません"},
      {DbfBuilder(ok).RecordCount(-1), -1, broken + "レコード数が負の値です (-1)"},
      {ok, 40, read + " (ヘッダー長は 65 バイトですが、ファイルは 40 バイトです)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Put(c.table, c.truncateTo);
    table.SetTableName(path);
    try {
      table.Open();
      ADD_FAILURE() << "opened";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "DBFファイル \"" + path + "\" を開けません: " + c.message);
    }
    EXPECT_FALSE(table.Active());
    EXPECT_TRUE(FileIsFree());
  }
  // A first record the file does not hold fails the open too, naming the record.
  Put(DbfBuilder(ok).RecordCount(2), 32 + 32 + 1);
  ExpectError<ELocalDbfError>(
      [&] { table.Open(); },
      "DBFファイル \"" + path +
          "\" のレコード 1 を読めません: ストリームからの読み込みエラー "
          "(ヘッダーのレコード数は 2 件ですが、ファイルには 0 件分しかありません)");
  EXPECT_FALSE(table.Active());
  EXPECT_TRUE(FileIsFree());

  // The refused versions are exactly the inverted 3 to 5; the usual ones open.
  for (uint8_t version : {0x03, 0x83, 0x30, 0xF5, 0x00}) {
    OpenTable(DbfBuilder(ok).Version(version));
    table.Close();
  }
  // An MDX table opens read-only; cp932 names differing only in a trail byte are distinct.
  OpenTable(DbfBuilder(ok).MdxFlag(1), true);
  table.Close();
  OpenTable(DbfBuilder().Field("\x83\x61", 'C', 1).Field("\x83\x41", 'C', 1));
}

TEST_F(LocalDbfTest, WritableOpenHoldsTheFileUntilClosed) {
  OpenTable(DbfBuilder().Field("A", 'C', 1));
  TLocalDbf other;
  other.SetTableName(path);
  for (bool readOnly : {false, true}) {
    other.SetReadOnly(readOnly);
    try {
      other.Open();
      ADD_FAILURE() << "second open succeeded";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(e.Message().rfind("ファイル \"" + path + "\". ", 0), 0u) << e.Message();
      EXPECT_NE(e.Message().find(" は開けません"), std::string::npos);
    }
  }
  table.Close();
  other.Open();
  EXPECT_TRUE(other.Active());
  other.Close();

  // Read-only tables share the file with each other.
  table.SetReadOnly(true);
  other.SetReadOnly(true);
  table.Open();
  other.Open();
  EXPECT_FALSE(FileIsFree());
}

// ---------------------------------------------------------------------------------------------

TEST_F(LocalDbfTest, NavigationStepsOverDeletedRecords) {
  OpenTable(LiveDeadLive());
  EXPECT_TRUE(table.Bof());
  EXPECT_FALSE(table.Eof());
  EXPECT_EQ(table.RecNo(), 1);
  table.Next();
  EXPECT_EQ(table.RecNo(), 3);
  EXPECT_FALSE(table.Bof());
  table.Next();  // nothing further: the last record stays current
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.FieldAsString(0), "c");
  table.Next();
  EXPECT_EQ(table.RecNo(), 3);
  table.Prior();
  EXPECT_EQ(table.RecNo(), 1);
  EXPECT_FALSE(table.Eof());
  table.Prior();
  EXPECT_TRUE(table.Bof());
  EXPECT_EQ(table.RecNo(), 1);

  table.Last();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.FieldAsString(0), "c");

  table.First();
  table.SetShowDeleted(true);  // refreshes at once
  table.Next();
  EXPECT_EQ(table.FieldAsString(0), "b");
  EXPECT_EQ(table.RecordCount(), 3);
}

TEST_F(LocalDbfTest, EmptyAndAllDeletedTablesShowNoRecord) {
  for (const DbfBuilder& b : {DbfBuilder().Field("N", 'N', 3),
                              DbfBuilder().Field("N", 'N', 3).Deleted({"1"}).Deleted({"2"})}) {
    OpenTable(b);
    EXPECT_TRUE(table.Bof() && table.Eof());
    EXPECT_EQ(table.RecNo(), -1);
    EXPECT_EQ(table.Bookmark(), -1);
    EXPECT_EQ(table.FieldAsString(0), "");
    EXPECT_TRUE(table.FieldValue(0).IsNull());
    table.Next();
    table.Last();
    EXPECT_TRUE(table.Bof() && table.Eof());
    table.Close();
  }
  EXPECT_EQ((OpenTable(DbfBuilder().Field("N", 'N', 3).Deleted({"1"})), table.RecordCount()), 1);
  table.Close();
  ExpectError<EDatabaseError>([&] { table.RecordCount(); },
                              "データセットは閉じているため, この操作は実行できません");
}

TEST_F(LocalDbfTest, RecNoAndBookmarksLandOnVisibleRecords) {
  OpenTable(LiveDeadLive().Record({"d", "4"}).Deleted({"e", "5"}));
  table.SetRecNo(2);  // deleted: the next live one
  EXPECT_EQ(table.RecNo(), 3);
  table.SetRecNo(0);
  table.SetRecNo(6);
  EXPECT_EQ(table.RecNo(), 3);
  table.SetRecNo(5);  // deleted and last: the previous live one
  EXPECT_EQ(table.RecNo(), 4);

  EXPECT_EQ(table.Bookmark(), 3);
  table.GotoBookmark(0);
  EXPECT_EQ(table.FieldAsString(0), "a");
  ExpectError<ELocalDbfError>([&] { table.GotoBookmark(-1); }, "Bookmark -1 not found");
  ExpectError<ELocalDbfError>([&] { table.GotoBookmark(5); }, "Bookmark 5 not found");
  ExpectError<ELocalDbfError>([&] { table.GotoBookmark(1); }, "GetRecord: Invalid record");
}

TEST_F(LocalDbfTest, FilterHidesRecordsAndSeesTheJudgedOne) {
  OpenTable(DbfBuilder().Field("NAME", 'C', 3).Record({"a"}).Record({"b"}).Record({"c"}));
  std::vector<int32_t> judged;
  table.OnFilterRecord = [&](TLocalDbf& t, bool& accept) {
    EXPECT_EQ(t.State(), TDataSetState::dsFilter);
    judged.push_back(t.RecNo());
    accept = t.FieldAsString(0) != "b";
  };
  EXPECT_EQ(Names(), "abc");  // not filtered yet
  EXPECT_TRUE(judged.empty());
  table.SetFiltered(true);
  EXPECT_EQ(Names(), "ac");
  EXPECT_EQ((std::vector<int32_t>{3, 1, 2, 3}), judged);  // the refresh judged the current one

  table.OnFilterRecord = [](TLocalDbf&, bool&) { throw EConvertError("boom"); };
  EXPECT_THROW(table.Last(), EConvertError);
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
}

TEST_F(LocalDbfTest, CountBeyondTheRecordsFailsOnTheFirstMissingOneNamingTheTable) {
  const std::string missing =
      "DBFファイル \"" + path +
      "\" のレコード 3 を読めません: ストリームからの読み込みエラー "
      "(ヘッダーのレコード数は 3 件ですが、ファイルには 2 件分しかありません)";
  // With and without the end marker, through the read window and without it.
  for (bool marker : {false, true}) {
    for (bool readOnly : {false, true}) {
      OpenTable(DbfBuilder()
                    .Field("N", 'N', 2)
                    .Record({"1"})
                    .Record({"2"})
                    .RecordCount(3)
                    .EndMarker(marker),
                readOnly);
      table.Next();
      ExpectError<ELocalDbfError>([&] { table.Next(); }, missing);
      table.Close();
    }
  }
  // A record cut in the middle is not held either.
  Put(DbfBuilder().Field("N", 'N', 2).Record({"1"}).Record({"2"}).Record({"3"}), 65 + 3 * 2 + 2);
  table.Open();
  table.Next();
  ExpectError<ELocalDbfError>([&] { table.Next(); }, missing);
}

TEST_F(LocalDbfTest, ReadOnlyTablesOpenWhatOtherReadersOpen) {
  // Equal names (R writes them) are handed on as they are; a writable table refuses them, as
  // a search by name would be ambiguous.
  OpenTable(DbfBuilder()
                .Field("NAME", 'C', 2)
                .Field("name", 'C', 2)
                .Field("NAME", 'N', 3)
                .Record({"a", "b", "7"}),
            true);
  ASSERT_EQ(table.FieldCount(), 3);
  EXPECT_EQ(table.FieldDef(1).FieldName, "name");
  EXPECT_EQ(table.FieldDef(2).FieldName, "NAME");
  EXPECT_EQ(table.FieldAsString(0) + table.FieldAsString(1) + table.FieldAsString(2), "ab7");
  table.Close();

  // A table without fields and records: record length 0, or nothing but the 32-byte header.
  for (int64_t truncateTo : {int64_t{-1}, int64_t{32}}) {
    DbfBuilder empty = DbfBuilder().RecordLength(0).EndMarker(false);
    if (truncateTo == 32) empty.HeaderTail("");
    OpenTable(empty, true);
    EXPECT_EQ(table.FieldCount(), 0);
    EXPECT_EQ(table.RecordCount(), 0);
    EXPECT_TRUE(table.Bof() && table.Eof());
    table.Close();
    // Written to, it would need room for the deletion flag and the terminator.
    table.SetReadOnly(false);
    EXPECT_THROW(table.Open(), ELocalDbfError);
    EXPECT_FALSE(table.Active());
  }
  // Records, or fields, that do not fit the record are refused read-only too.
  for (const DbfBuilder& b :
       {DbfBuilder().RecordLength(0).RawRecord(""), DbfBuilder().Field("A", 'C', 2).RecordLength(2),
        DbfBuilder().Field("A", 'C', 2).RecordLength(0)}) {
    Put(b);
    table.SetReadOnly(true);
    EXPECT_THROW(table.Open(), ELocalDbfError);
    EXPECT_FALSE(table.Active());
  }
}

TEST_F(LocalDbfTest, LongTablesReadTheSameForwardsAndBackwards) {
  // Far more than one read window, with a record length that does not divide it.
  DbfBuilder b = DbfBuilder().Field("N", 'N', 9).Field("PAD", 'C', 14);
  constexpr int kCount = 30000;
  for (int i = 1; i <= kCount; ++i) {
    if (i % 1000 == 0)
      b.Deleted({std::to_string(i)});
    else
      b.Record({std::to_string(i)});
  }
  OpenTable(b);
  int seen = 0;
  for (int expected = 1; !table.Eof(); table.Next(), ++expected) {
    if (expected % 1000 == 0) ++expected;
    ASSERT_EQ(table.FieldValue(0), TDbfValue::Integer(expected));
    ++seen;
  }
  EXPECT_EQ(seen, kCount - kCount / 1000);
  for (int expected = kCount - 1; !table.Bof(); table.Prior(), --expected) {
    if (expected % 1000 == 0) --expected;
    ASSERT_EQ(table.RecNo(), expected);
  }
}

TEST_F(LocalDbfTest, ReadOnlyTableSeesChangesMadeByOthers) {
  OpenTable(DbfBuilder().Field("N", 'N', 2).Record({"1"}).Record({"2"}), true);
  FileHandle writer;
  ASSERT_TRUE(writer.OpenReadWrite(path));
  const int64_t secondValue = 32 + 32 + 1 + 3 + 2;
  ASSERT_TRUE(writer.WriteAt(secondValue, "9", 1));
  table.Next();
  EXPECT_EQ(table.FieldAsString(0), "9");
}

// ---------------------------------------------------------------------------------------------

TEST_F(LocalDbfTest, FieldTextsBecomeValuesOrNoValue) {
  struct Case {
    char type;
    int length, decimals;
    std::string text;  // the raw field bytes
    TDbfValue value;
    std::string asString;
    uint8_t version = 0x03;
  };
  const TDbfValue none;
  const uint8_t vfp = 0x30, dbase7 = 0x04;
  auto Bytes = [](std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
  };
  const int32_t jdn2000 = 2451545;  // the Julian day number of 2000-01-01
  const int32_t day2004 = TDbfDate{2004, 1, 15}.DayNumber();
  const std::vector<Case> cases = {
      {'C', 5, 0, "abc  ", TDbfValue::Text("abc"), "abc"},
      {'C', 5, 0, "  abc", TDbfValue::Text("  abc"), "  abc"},
      {'C', 5, 0, "     ", TDbfValue::Text(""), ""},
      {'C', 5, 0, std::string("a\0b  ", 5), TDbfValue::Text("a"), "a"},
      {'C', 5, 0, std::string("a \0 \0", 5), TDbfValue::Text("a"), "a"},
      {'N', 5, 0, "  -12", TDbfValue::Integer(-12), "-12"},
      {'N', 5, 0, "   +7", TDbfValue::Integer(7), "7"},
      {'N', 5, 0, "     ", none, ""},
      {'N', 5, 0, " 12.5", none, ""},
      {'N', 5, 0, " 1 2 ", none, ""},
      {'N', 9, 0, "999999999", TDbfValue::Integer(999999999), "999999999"},
      {'N', 9, 0, "-12345678", TDbfValue::Integer(-12345678), "-12345678"},
      // From ten digits wide, values keep every digit.
      {'N', 11, 0, " 2147483648", TDbfValue::Largeint(2147483648), "2147483648"},
      {'N', 11, 0, "-2147483649", TDbfValue::Largeint(-2147483649), "-2147483649"},
      {'N', 11, 0, "+0000000007", TDbfValue::Largeint(7), "7"},
      {'N', 11, 0, "    -0     ", TDbfValue::Largeint(0), "0"},
      {'N', 20, 0, "99999999999999999999", none, "99999999999999999999"},
      {'N', 11, 0, "  12 345   ", none, ""},
      {'N', 11, 0, "          -", none, ""},
      {'N', 8, 2, "    1.50", TDbfValue::Float(1.5), "1.5"},
      {'N', 8, 2, "     .5 ", TDbfValue::Float(0.5), "0.5"},
      {'N', 8, 2, "   -5.  ", TDbfValue::Float(-5), "-5"},
      {'N', 8, 2, "  1.5e20", TDbfValue::Float(1.5e20), "1.5E20"},
      {'N', 8, 2, "  1e-400", none, ""},
      {'N', 8, 2, "     inf", none, ""},
      {'N', 8, 2, "   0x1p3", none, ""},
      {'N', 8, 2, "   1.2.3", none, ""},
      {'N', 8, 2, "    1,50", none, ""},
      {'D', 8, 0, "20040115", TDbfValue::Date({2004, 1, 15}), "2004/01/15"},
      {'D', 8, 0, "20040229", TDbfValue::Date({2004, 2, 29}), "2004/02/29"},
      {'D', 8, 0, "20030229", none, ""},
      {'D', 8, 0, "20041301", none, ""},
      {'D', 8, 0, "00000101", none, ""},
      {'D', 8, 0, "2004 115", none, ""},
      {'D', 8, 0, "        ", none, ""},
      {'L', 1, 0, "T", TDbfValue::Boolean(true), "True"},
      {'L', 1, 0, "t", TDbfValue::Boolean(true), "True"},
      {'L', 1, 0, "Y", TDbfValue::Boolean(true), "True"},
      {'L', 1, 0, "F", TDbfValue::Boolean(false), "False"},
      {'L', 1, 0, "f", TDbfValue::Boolean(false), "False"},
      {'L', 1, 0, "n", TDbfValue::Boolean(false), "False"},
      {'L', 1, 0, "?", none, ""},
      {'L', 1, 0, " ", none, ""},
      {'L', 1, 0, "1", none, ""},
      // F is read as N is.
      {'F', 8, 2, "   -1.50", TDbfValue::Float(-1.5), "-1.5"},
      {'F', 5, 0, "  -12", TDbfValue::Integer(-12), "-12"},
      {'F', 11, 0, " 2147483648", TDbfValue::Largeint(2147483648), "2147483648"},
      // Binary integers and doubles, little-endian.
      {'I', 4, 0, test::LE32(-123456), TDbfValue::Integer(-123456), "-123456"},
      {'I', 4, 0, test::LE32(INT32_MIN), TDbfValue::Integer(INT32_MIN), "-2147483648"},
      {'O', 8, 0, test::LEDouble(-0.25), TDbfValue::Float(-0.25), "-0.25"},
      {'O', 8, 0, test::LEDouble(NAN), none, ""},
      {'O', 8, 0, test::LEDouble(-INFINITY), none, ""},
      {'B', 8, 0, test::LEDouble(2.5), TDbfValue::Float(2.5), "2.5", vfp},
      {'B', 8, 0, test::LEDouble(2.5), TDbfValue::Float(2.5), "2.5", 0x31},
      // Date-times keep their date only.
      {'T', 8, 0, test::JulianDateTime(jdn2000, 86399999), TDbfValue::Date({2000, 1, 1}),
       "2000/01/01"},
      {'T', 8, 0, test::JulianDateTime(1721426), TDbfValue::Date({1, 1, 1}), "0001/01/01"},
      {'T', 8, 0, test::JulianDateTime(5373484), TDbfValue::Date({9999, 12, 31}), "9999/12/31"},
      {'T', 8, 0, test::JulianDateTime(5373485), none, ""},
      {'T', 8, 0, std::string(8, '\0'), none, ""},
      {'T', 8, 0, std::string(8, ' '), none, ""},
      {'@', 8, 0, test::JulianDateTime(jdn2000), TDbfValue::Date({2000, 1, 1}), "2000/01/01"},
      // dBASE 7: big-endian with the sign bit flipped; zero bytes are an empty field.
      {'I', 4, 0, Bytes({0x80, 0, 0, 1}), TDbfValue::Integer(1), "1", dbase7},
      {'I', 4, 0, Bytes({0x7F, 0xFF, 0xFF, 0xFF}), TDbfValue::Integer(-1), "-1", dbase7},
      {'I', 4, 0, std::string(4, '\0'), none, "", dbase7},
      {'+', 4, 0, Bytes({0x80, 0, 1, 0}), TDbfValue::Integer(256), "256", dbase7},
      {'O', 8, 0, Bytes({0xC0, 0x22, 0, 0, 0, 0, 0, 0}), TDbfValue::Float(9), "9", dbase7},
      {'O', 8, 0, Bytes({0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), TDbfValue::Float(-2),
       "-2", dbase7},
      {'O', 8, 0, test::Dbase7Double(-74.62), TDbfValue::Float(-74.62), "-74.62", dbase7},
      {'O', 8, 0, std::string(8, '\0'), none, "", dbase7},
      // @ of dBASE 7: 719163 days of 86400000 ms is 1970-01-01, with or without the sign flip.
      {'@', 8, 0, Bytes({0x42, 0xCC, 0x41, 0x8B, 0xA9, 0x9A, 0, 0}), TDbfValue::Date({1970, 1, 1}),
       "1970/01/01", dbase7},
      {'@', 8, 0, Bytes({0xC2, 0xCC, 0x41, 0x8B, 0xA9, 0x9A, 0, 0}), TDbfValue::Date({1970, 1, 1}),
       "1970/01/01", dbase7},
      {'@', 8, 0, test::Dbase7Timestamp(day2004, 86399999), TDbfValue::Date({2004, 1, 15}),
       "2004/01/15", dbase7},
      {'@', 8, 0, std::string(8, '\0'), none, "", dbase7},
      {'@', 8, 0, test::Dbase7Double(INFINITY), none, "", dbase7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.type) + " [" + c.text + "] version " + std::to_string(c.version));
    OpenTable(DbfBuilder()
                  .Version(c.version)
                  .Field("F", c.type, c.length, c.decimals)
                  .RawRecord(" " + c.text));
    EXPECT_EQ(table.FieldValue(0), c.value);
    EXPECT_EQ(table.FieldAsString(0), c.asString);
    table.Close();
  }
}

TEST_F(LocalDbfTest, FloatTextIsTheGeneralTextOfTheParsedNumber) {
  // Plain decimals take a shortcut that must agree with the exact conversion everywhere,
  // around 15 significant digits and 0.0001 above all.
  std::mt19937_64 random(7);
  auto digits = [&](size_t n) {
    std::string d;
    for (size_t i = 0; i < n; ++i) d += static_cast<char>('0' + random() % 10);
    return d;
  };
  std::vector<std::string> texts = {"0",
                                    "-0.000",
                                    "+.0",
                                    "0.0001",
                                    "0.00009999",
                                    "-0.00012",
                                    "999999999999999",
                                    "9999999999999999",
                                    "0.1234567890123456",
                                    "100000000000000.5",
                                    "00012.3400",
                                    "1e5",
                                    "-2.5E-3"};
  for (int i = 0; i < 3000; ++i) {
    std::string t = i % 3 == 0 ? "-" : "";
    t += std::string(random() % 3, '0') + digits(random() % 12);
    if (random() % 4 != 0) t += "." + std::string(random() % 6, '0') + digits(random() % 14);
    if (t.find_first_of("0123456789") != std::string::npos) texts.push_back(t);
  }
  DbfBuilder b = DbfBuilder().Field("F", 'N', 40, 6);
  for (const std::string& t : texts) b.Record({t});
  OpenTable(b);
  for (const std::string& t : texts) {
    EXPECT_EQ(table.FieldAsString(0), GeneralText(std::strtod(t.c_str(), nullptr))) << t;
    table.Next();
  }
}

TEST_F(LocalDbfTest, FieldTextFollowsTheTableRegionalSettings) {
  OpenTable(DbfBuilder().Field("F", 'N', 8, 2).Field("D", 'D', 8).Record({"1.25", "20040105"}));
  RegionalSettings regional;
  regional.DecimalSeparator = ',';
  regional.ShortDateFormat = "d/m/yy";
  regional.DateSeparator = '-';
  table.SetRegional(regional);
  EXPECT_EQ(table.FieldAsString(0), "1,25");
  EXPECT_EQ(table.FieldAsString(1), "5-1-04");
}

TEST(LocalDbfDates, DayNumbersCountFromTheFirstOfJanuaryOfYearOne) {
  EXPECT_EQ((TDbfDate{1, 1, 1}.DayNumber()), 1);
  EXPECT_EQ((TDbfDate{1899, 12, 30}.DayNumber()), 693594);
  EXPECT_EQ((TDbfDate{2000, 3, 1}.DayNumber() - TDbfDate{2000, 2, 28}.DayNumber()), 2);
  for (int32_t day = 1; day <= 3652059; day += 97) {  // to 9999-12-31
    const TDbfDate d = TDbfDate::FromDayNumber(day);
    ASSERT_TRUE(TDbfDate::IsValid(d.Year, d.Month, d.Day)) << day;
    ASSERT_EQ(d.DayNumber(), day);
  }
  EXPECT_EQ(TDbfDate::FromDayNumber(3652059), (TDbfDate{9999, 12, 31}));
}

// ---------------------------------------------------------------------------------------------

std::string RecordBytes(const std::string& file, int headerLength, int recordLength, int index) {
  return file.substr(static_cast<size_t>(headerLength + index * recordLength),
                     static_cast<size_t>(recordLength));
}

// The text of every field of the current record, as a MID row has them.
std::string FieldTexts(TLocalDbf& table, const RegionalSettings& regional) {
  std::string row;
  for (int i = 0; i < table.FieldCount(); ++i) {
    if (i > 0) row += '|';
    table.AppendFieldText(i, regional, row);
  }
  return row;
}

TEST_F(LocalDbfTest, VisualFoxProTableReadsEveryKindPastItsBacklink) {
  const int32_t jdn = TDbfDate{2004, 1, 15}.DayNumber() + 1721425;
  table.SetReadAhead(true);
  table.SetShowDeleted(true);
  OpenTable(DbfBuilder()
                .Version(0x30)
                .Field("NAME", 'C', 6)
                .Field("COUNT", 'I', 4)
                .Field("RATE", 'B', 8)
                .Field("WHEN", 'T', 8)
                .Field("AREA", 'N', 7, 2)
                .Field("OK", 'L', 1)
                .Backlink()
                .Record({"\x93\x8C", test::LE32(-7), test::LEDouble(0.125),
                         test::JulianDateTime(jdn, 1000), "12.50", "y"})
                .Deleted({"b", test::LE32(0), test::LEDouble(NAN), "", "", "?"}),
            true);
  ASSERT_EQ(table.FieldCount(), 6);
  const std::vector<TFieldType> types = {TFieldType::ftString, TFieldType::ftInteger,
                                         TFieldType::ftFloat,  TFieldType::ftDate,
                                         TFieldType::ftFloat,  TFieldType::ftBoolean};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(table.FieldDef(i).DataType, types[i]) << i;
  EXPECT_EQ(table.FieldDef(1).Size, 0);

  RegionalSettings regional;
  regional.DecimalSeparator = ',';
  regional.ShortDateFormat = "d/m/yyyy";
  regional.DateSeparator = '-';
  EXPECT_EQ(FieldTexts(table, regional), "\x93\x8C|-7|0,125|15-1-2004|12,5|True");
  EXPECT_EQ(table.FieldValue(3), TDbfValue::Date({2004, 1, 15}));
  table.Next();
  ASSERT_EQ(table.RecNo(), 2);
  EXPECT_EQ(FieldTexts(table, regional), "b|0||||");
}

TEST_F(LocalDbfTest, Dbase7TableHasLongDescriptorsAndOrderedNumbers) {
  const std::string longName = "A_FIELD_NAME_OF_THIRTY_TWO_BYTES";
  ASSERT_EQ(longName.size(), 32u);
  const int32_t day = TDbfDate{2004, 1, 15}.DayNumber();
  const DbfBuilder b = DbfBuilder()
                           .Version(0x8C)
                           .Field(longName, 'C', 5)
                           .Field("ID", '+', 4)
                           .Field("V", 'O', 8)
                           .Field("TS", '@', 8)
                           .Field("L", 'N', 12, 0)
                           // Field properties may follow the terminator.
                           .HeaderTail("\x0D" + std::string(40, '\x01'))
                           .Record({"abc", test::Dbase7Int(-3), test::Dbase7Double(43.65),
                                    test::Dbase7Timestamp(day, 3600000), "12345678901"});
  OpenTable(b, true);
  ASSERT_EQ(table.FieldCount(), 5);
  EXPECT_EQ(table.FieldDef(0).FieldName, longName);
  EXPECT_EQ(table.FieldDef(0).Size, 5);
  EXPECT_EQ(table.FieldDef(4).DataType, TFieldType::ftLargeint);
  EXPECT_EQ(FieldTexts(table, RegionalSettings{}), "abc|-3|43.65|2004/01/15|12345678901");
  table.Close();

  // B and M of dBASE 7 are memo block numbers.
  ExpectError<ELocalDbfError>([&] { OpenTable(DbfBuilder(b).Field("BLOB", 'B', 10)); },
                              "DBFファイル \"" + path +
                                  "\" を開けません: 対応していないフィールド型です。 (フィールド "
                                  "\"BLOB\" 型 B)");
}

TEST_F(LocalDbfTest, SkippedFieldsLeaveTheOthersInPlace) {
  const DbfBuilder b = DbfBuilder()
                           .Field("MEMO", 'M', 10)
                           .Field("NAME", 'C', 4)
                           .Field("\x83\x81", 'G', 10)
                           .Field("N", 'N', 3)
                           .Field("BIN", 'B', 10)
                           .Record({"         1", "ab", "         2", "7", "         3"});
  table.SetSkipUnsupportedFields(true);
  OpenTable(b);
  ASSERT_EQ(table.FieldCount(), 2);
  EXPECT_EQ(table.FieldDef(0).FieldName, "NAME");
  EXPECT_EQ(table.FieldDef(0).FieldNo, 2);
  EXPECT_EQ(table.FieldDef(1).FieldName, "N");
  EXPECT_EQ(table.FieldDef(1).FieldNo, 4);
  EXPECT_EQ(table.FieldAsString(0), "ab");
  EXPECT_EQ(table.FieldValue(1), TDbfValue::Integer(7));
  EXPECT_EQ(table.SkippedFields(),
            (std::vector<std::string>{"MEMO (M)", "\x83\x81 (G)", "BIN (B)"}));
  EXPECT_THROW(table.FieldDef(2), EListError);
  // A change to a kept field leaves the skipped bytes as they were.
  table.Edit();
  table.StoreFieldValue(1, TDbfValue::Integer(9));
  table.Post();
  table.Close();
  EXPECT_EQ(RecordBytes(test::ReadFile(path), 32 * 6 + 1, b.ComputedRecordLength(), 0),
            " " + std::string(9, ' ') + "1" + "ab  " + std::string(9, ' ') + "2" + "  9" +
                std::string(9, ' ') + "3");

  // The skipped widths still count against the record length.
  ExpectError<ELocalDbfError>([&] { OpenTable(DbfBuilder(b).RecordLength(28)); },
                              "DBFファイル \"" + path +
                                  "\" を開けません: DBFのヘッダーが壊れています。 フィールドに 38 "
                                  "バイト必要ですが、レコード長は 28 バイトです");

  table.SetSkipUnsupportedFields(false);
  ExpectError<ELocalDbfError>([&] { OpenTable(b); },
                              "DBFファイル \"" + path +
                                  "\" を開けません: 対応していないフィールド型です。 (フィールド "
                                  "\"MEMO\" 型 M)");
  EXPECT_TRUE(table.SkippedFields().empty());
}

TEST_F(LocalDbfTest, BinaryFieldsAreNotWrittenAndStartEmptyInNewRecords) {
  const DbfBuilder b = DbfBuilder()
                           .Version(0x30)
                           .Field("C", 'C', 2)
                           .Field("I", 'I', 4)
                           .Field("T", 'T', 8)
                           .Field("F", 'F', 6, 1)
                           .Backlink()
                           .Record({"x", test::LE32(5), test::JulianDateTime(2451545), "1.0"});
  OpenTable(b);
  table.Edit();
  const std::string mismatch = "値の種類がフィールドの型と合いません";
  ExpectError<EConvertError>([&] { table.StoreFieldValue(1, TDbfValue::Integer(6)); }, mismatch);
  ExpectError<EConvertError>(
      [&] {
        table.StoreFieldValue(2, TDbfValue::Date({2004, 1, 15}));
      },
      mismatch);
  table.StoreFieldValue(2, TDbfValue());  // no value empties the field
  table.StoreFieldValue(3, TDbfValue::Float(-2.5));
  table.Post();
  EXPECT_EQ(table.FieldValue(1), TDbfValue::Integer(5));
  EXPECT_TRUE(table.FieldValue(2).IsNull());
  table.Append();
  table.StoreFieldValue(0, TDbfValue::Text("y"));
  table.Post();
  EXPECT_EQ(table.FieldValue(1), TDbfValue::Integer(0));
  EXPECT_TRUE(table.FieldValue(2).IsNull());
  table.Close();

  const std::string file = test::ReadFile(path);
  const int headerLength = 32 + 4 * 32 + 264;
  EXPECT_EQ(RecordBytes(file, headerLength, 21, 0),
            " x " + test::LE32(5) + std::string(8, '\0') + "  -2.5");
  EXPECT_EQ(RecordBytes(file, headerLength, 21, 1), " y " + std::string(12, '\0') + "      ");
}

TEST_F(LocalDbfTest, StoredValuesBecomeFieldTexts) {
  const DbfBuilder b = DbfBuilder()
                           .Field("C", 'C', 5)
                           .Field("I", 'N', 4)
                           .Field("F", 'N', 5, 2)
                           .Field("D", 'D', 8)
                           .Field("L", 'L', 1)
                           .Field("D6", 'D', 6)
                           .Field("L3", 'L', 3)
                           .Record({"old", "1", "1.00", "19990101", "F", "x", "x"});
  OpenTable(b);
  ExpectError<ELocalDbfError>([&] { table.StoreFieldValue(0, TDbfValue::Text("no")); },
                              "データセットが編集中ではないため, 値を書き込めません");
  table.Edit();
  table.StoreFieldValue(0, TDbfValue::Text("ab"));
  table.StoreFieldValue(1, TDbfValue::Integer(-123));
  table.StoreFieldValue(2, TDbfValue::Float(1.005));
  table.StoreFieldValue(3, TDbfValue::Date({2004, 1, 15}));
  table.StoreFieldValue(4, TDbfValue::Boolean(true));
  table.StoreFieldValue(5, TDbfValue::Date({2004, 1, 15}));
  table.StoreFieldValue(6, TDbfValue::Boolean(false));
  for (const TDbfValue& tooWide :
       {TDbfValue::Float(123.456), TDbfValue::Float(INFINITY), TDbfValue::Float(NAN)}) {
    ExpectError<ELocalDbfError>([&] { table.StoreFieldValue(2, tooWide); }, "桁数を超えています");
  }
  ExpectError<ELocalDbfError>([&] { table.StoreFieldValue(1, TDbfValue::Integer(-1234)); },
                              "桁数を超えています");
  table.Post();
  std::string file = test::ReadFile(path);
  const int recordLength = b.ComputedRecordLength();
  EXPECT_EQ(RecordBytes(file, 32 * 8 + 1, recordLength, 0),
            " ab   -123 1.0020040115T200401F  ");  // 1.005 is stored just below 1.005

  table.Edit();
  table.StoreFieldValue(1, TDbfValue::Integer(7));
  table.StoreFieldValue(0, TDbfValue::Text(std::string("x\0yz", 4)));
  for (int i = 2; i < 7; ++i) table.StoreFieldValue(i, TDbfValue());
  table.Post();
  file = test::ReadFile(path);
  EXPECT_EQ(RecordBytes(file, 32 * 8 + 1, recordLength, 0),
            std::string(" x    ") + "   7" + std::string(23, ' '));
}

TEST_F(LocalDbfTest, AppendAddsAtTheEndAndCountsInTheHeader) {
  OpenTable(LiveDeadLive());
  table.Append();
  table.StoreFieldValue(0, TDbfValue::Text("new"));
  table.StoreFieldValue(1, TDbfValue::Integer(4));
  table.Post();
  EXPECT_EQ(table.RecordCount(), 4);
  EXPECT_EQ(table.RecNo(), 4);
  EXPECT_EQ(table.FieldAsString(0), "new");
  table.Close();
  const std::string file = test::ReadFile(path);
  const int headerLength = 32 + 64 + 1;
  ASSERT_EQ(file.size(), static_cast<size_t>(headerLength + 4 * 11 + 1));
  EXPECT_EQ(file.substr(4, 4), test::LE32(4));
  EXPECT_EQ(RecordBytes(file, headerLength, 11, 3), std::string(" new   ") + "   4");
  EXPECT_EQ(file.back(), '\x1A');
  EXPECT_EQ(file.substr(0, 4), LiveDeadLive().Bytes().substr(0, 4));  // date unchanged

  // Without an end marker the last record is kept whole.
  OpenTable(LiveDeadLive().EndMarker(false));
  table.Append();
  table.StoreFieldValue(1, TDbfValue::Integer(9));
  table.Post();
  table.First();
  EXPECT_EQ(Names(), "ac");
  table.Last();
  EXPECT_EQ(table.FieldAsString(1), "9");
}

TEST_F(LocalDbfTest, EditCancelAndDeleteRewriteOnlyTheirRecord) {
  OpenTable(LiveDeadLive());
  table.Edit();
  table.StoreFieldValue(0, TDbfValue::Text("zzz"));
  table.Cancel();
  EXPECT_EQ(table.FieldAsString(0), "a");

  table.Edit();
  table.StoreFieldValue(0, TDbfValue::Text("A2"));
  table.Next();  // moving on posts the change
  EXPECT_EQ(table.FieldAsString(0), "c");
  table.Delete();  // record 3: no live record after it, so record 1 becomes current
  EXPECT_EQ(table.FieldAsString(0), "A2");
  EXPECT_EQ(table.RecordCount(), 3);
  table.Append();
  table.Cancel();
  EXPECT_EQ(table.RecNo(), 1);
  table.Close();

  const std::string file = test::ReadFile(path);
  EXPECT_EQ(file.substr(4, 4), test::LE32(3));
  EXPECT_EQ(RecordBytes(file, 97, 11, 0), std::string(" A2    ") + "   1");
  EXPECT_EQ(RecordBytes(file, 97, 11, 1)[0], '*');
  EXPECT_EQ(RecordBytes(file, 97, 11, 2), std::string("*c     ") + "   3");
}

TEST_F(LocalDbfTest, ReadOnlyAndClosedTablesRefuseWrites) {
  OpenTable(LiveDeadLive(), true);
  const std::string readOnly = "データセットはリードオンリーです";
  ExpectError<ELocalDbfError>([&] { table.Edit(); }, readOnly);
  ExpectError<ELocalDbfError>([&] { table.Append(); }, readOnly);
  ExpectError<ELocalDbfError>([&] { table.Delete(); }, readOnly);
  ExpectError<ELocalDbfError>([&] { table.Locate("NAME", {TDbfValue::Text("a")}, 0); }, readOnly);
  table.Close();

  OpenTable(LiveDeadLive());
  table.Edit();
  table.SetReadOnly(true);  // read again by every write
  ExpectError<ELocalDbfError>([&] { table.Post(); }, readOnly);
  table.Cancel();
  table.Close();
  EXPECT_EQ(test::ReadFile(path), LiveDeadLive().Bytes());
  for (const auto& op : std::vector<std::function<void()>>{
           [&] { table.Delete(); }, [&] { table.Post(); }, [&] { table.Edit(); }}) {
    ExpectError<EDatabaseError>(op, "データセットは閉じているため, この操作は実行できません");
  }
}

// ---------------------------------------------------------------------------------------------

class LocalDbfLocateTest : public LocalDbfTest {
 protected:
  void SetUp() override {
    OpenTable(DbfBuilder()
                  .Field("NAME", 'C', 8)
                  .Field("N", 'N', 4)
                  .Field("D", 'D', 8)
                  .Field("B", 'C', 2)
                  .Record({"xyz", "1", "20040115"})
                  .Record({"abcdef", "12", "20040116"})
                  .Deleted({"dead", "12"})
                  .Record({"abc", "", ""})
                  .Record({"\x83\x61", "12", "20040115"}));
  }
  int32_t Find(std::string_view keys, const std::vector<TDbfValue>& values,
               TLocateOptions options = 0) {
    return table.Locate(keys, values, options) ? table.RecNo() : -1;
  }
  TDbfValue T(const char* text) { return TDbfValue::Text(text); }
};

TEST_F(LocalDbfLocateTest, TextKeysMatchWholeOrPartlyWithOrWithoutCase) {
  EXPECT_EQ(Find("NAME", {T("ab")}), -1);
  EXPECT_EQ(Find("NAME", {T("AB")}, loPartialKey), -1);
  EXPECT_EQ(Find("NAME", {T("ab")}, loPartialKey), 2);
  EXPECT_EQ(Find("name", {T("AB")}, loPartialKey | loCaseInsensitive), 2);
  EXPECT_EQ(Find("NAME", {T("abcdef")}), 2);
  EXPECT_EQ(Find("NAME", {T("abc")}), 4);  // trailing blanks are gone
  EXPECT_EQ(Find("NAME", {T("dead")}), -1);
  // A trail byte is never folded: 0x83 0x61 and 0x83 0x41 are different characters.
  EXPECT_EQ(Find("NAME", {T("\x83\x41")}, loCaseInsensitive), -1);
  EXPECT_EQ(Find("NAME", {T("\x83\x61")}, loCaseInsensitive), 5);
  EXPECT_EQ(Find("", {}), 1);
}

TEST_F(LocalDbfLocateTest, OtherKindsCompareByValue) {
  EXPECT_EQ(Find("N", {TDbfValue::Integer(1)}, loPartialKey), 1);
  EXPECT_EQ(Find("N", {T("1")}, loPartialKey), 1);
  EXPECT_EQ(Find("N", {TDbfValue::Float(12.0)}), 2);
  EXPECT_EQ(Find("N", {T("x")}), -1);
  EXPECT_EQ(Find("NAME;N", {T("abc"), TDbfValue::Integer(0)}), -1);  // blank never matches
  EXPECT_EQ(Find("D;N", {TDbfValue::Date({2004, 1, 16}), TDbfValue::Integer(12)}), 2);
  const double jan15 = TDbfDate{2004, 1, 15}.DayNumber() - 693594;
  EXPECT_EQ(Find("D", {TDbfValue::DateTime(jan15 + 0.5)}), -1);
  EXPECT_EQ(Find("D", {T("20040116")}), 2);
  EXPECT_EQ(Find("NAME", {TDbfValue::Integer(1)}), -1);
  EXPECT_EQ(Find("N", {TDbfValue::Integer(12), T("ignored"), T("ignored")}), 2);
  table.SetLocateNext(true);
  table.First();
  EXPECT_EQ(Find("D", {TDbfValue::DateTime(jan15)}), 5);
}

TEST_F(LocalDbfLocateTest, LocateNextVisitsMatchesInFileOrder) {
  table.SetLocateNext(true);
  EXPECT_EQ(Find("N", {TDbfValue::Integer(12)}), 2);
  EXPECT_EQ(Find("N", {TDbfValue::Integer(12)}), 5);
  EXPECT_EQ(Find("N", {TDbfValue::Integer(12)}), -1);
  EXPECT_EQ(table.RecNo(), 5);

  // A filtered record is found, and the cursor lands next to it.
  table.SetLocateNext(false);
  table.OnFilterRecord = [](TLocalDbf& t, bool& accept) { accept = t.FieldAsString(0) != "abc"; };
  table.SetFiltered(true);
  EXPECT_EQ(Find("NAME", {T("abc")}), 5);
}

TEST_F(LocalDbfLocateTest, RefusesBadKeysInTheCheckingOrder) {
  ExpectError<ELocalDbfError>([&] { Find("NAME;N", {T("a")}); },
                              "Locate: unmatch number of fields and values");
  ExpectError<EDatabaseError>(
      [&] {
        Find("NAME; B", {T("a"), T("b")});
      },
      "項目 ' B' が見つかりません");
  EXPECT_EQ(Find("NAME;N;", {T("abcdef"), TDbfValue::Integer(12)}), 2);
  ExpectError<EDatabaseError>(
      [&] {
        Find("NAME;;", {T("a"), T("b")});
      },
      "項目 '' が見つかりません");
  table.Edit();
  ExpectError<ELocalDbfError>([&] { Find("X;Y;Z", {}); }, "Can't Locate in Current State.");
}

// ---------------------------------------------------------------------------------------------

TEST_F(LocalDbfTest, WrittenTableReadsBackInOgrinfo) {
  if (std::system("ogrinfo --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ogrinfo";
  OpenTable(DbfBuilder()
                .Field("NAME", 'C', 10)
                .Field("COUNT", 'N', 6)
                .Field("RATE", 'N', 9, 3)
                .Field("DAY", 'D', 8)
                .Field("OK", 'L', 1)
                .Record({"old", "1", "1.000", "20000101", "F"}));
  table.Edit();
  table.StoreFieldValue(0, TDbfValue::Text("edited"));
  table.Post();
  table.Append();
  table.StoreFieldValue(0, TDbfValue::Text("added"));
  table.StoreFieldValue(1, TDbfValue::Integer(-42));
  table.StoreFieldValue(2, TDbfValue::Float(3.25));
  table.StoreFieldValue(3, TDbfValue::Date({2004, 1, 15}));
  table.StoreFieldValue(4, TDbfValue::Boolean(true));
  table.Post();
  table.Close();

  const std::string out = dir / "ogr.txt";
  ASSERT_EQ(std::system(("ogrinfo -ro -al -q '" + path + "' > '" + out + "' 2>&1").c_str()), 0);
  const std::string text = test::ReadFile(out);
  for (const char* expected :
       {"NAME (String) = edited", "NAME (String) = added", "COUNT (Integer) = -42",
        "RATE (Real) = 3.250", "DAY (Date) = 2004/01/15", "OK (String) = T", "OGRFeature(t):1"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
}

}  // namespace
}  // namespace plexor
