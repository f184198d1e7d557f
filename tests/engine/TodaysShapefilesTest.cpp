// Shapefiles as today's programs write them: tables in UTF-8 or another code page, Z and M
// shapes, multipoints, field names other readers cannot parse, a .prj beside the file.
#include <gtest/gtest.h>

#include "engine/PrjFile.h"
#include "engine/ShapefileInfo.h"
#include "engine/ShpToMif.h"
#include "engine/TableEncoding.h"
#include "shp/uniShpUtils.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::ReadFile;
using test::ShpBuilder;
using test::WriteFile;

// The language-driver byte at offset 29 of a written table.
void SetLanguageDriver(const std::string& path, unsigned char ldid) {
  std::string bytes = ReadFile(path);
  bytes[29] = static_cast<char>(ldid);
  WriteFile(path, bytes);
}

class HostWithOptions : public test::FakeHost {
 public:
  TConvertOptions Opts;
  TConvertOptions Options() const override { return Opts; }
};

class TodaysShapefiles : public ::testing::Test {
 protected:
  std::string shp() const { return dir / "in.shp"; }
  std::string dbf() const { return dir / "in.dbf"; }
  std::string mif() const { return dir / "out.mif"; }
  std::string mid() const { return dir / "out.mid"; }
  void Points(int n) {
    ShpBuilder b;
    for (int i = 0; i < n; ++i) b.Point(139 + i, 35);
    b.Write(shp());
  }
  TConvertSummary Convert(int index = 2) {
    TConvertSummary summary;
    EXPECT_TRUE(ConvertShpToMif(index, shp(), mif(), host, &summary)) << summary.FailureReason;
    return summary;
  }

  test::TempDir dir;
  HostWithOptions host;
};

TEST_F(TodaysShapefiles, EncodingIsDecidedByOptionCpgLanguageDriverThenTheBytes) {
  Points(1);
  DbfBuilder().Field("NAME", 'C', 12).Record({"\xE6\x9D\xB1\xE4\xBA\xAC"}).Write(dbf());  // 東京
  SetLanguageDriver(dbf(), 0);
  EXPECT_EQ(EncodingSummaryText(DecideTableEncoding(shp(), dbf(), "")), "UTF-8 (内容)");
  // Code page 932 bytes are hardly ever well-formed UTF-8.
  DbfBuilder().Field("NAME", 'C', 12).Record({"\x93\x8C\x8B\x9E"}).Write(dbf());
  SetLanguageDriver(dbf(), 0);
  EXPECT_EQ(EncodingSummaryText(DecideTableEncoding(shp(), dbf(), "")), "CP932 (内容)");
  SetLanguageDriver(dbf(), 0x13);
  EXPECT_EQ(EncodingSummaryText(DecideTableEncoding(shp(), dbf(), "")), "CP932 (言語ドライバー)");
  SetLanguageDriver(dbf(), 0x57);  // says nothing
  EXPECT_EQ(DecideTableEncoding(shp(), dbf(), "").How, "内容");

  // A .cpg in any letter case wins over the byte, and is contradicted out loud.
  SetLanguageDriver(dbf(), 0x13);
  WriteFile(dir / "in.CPG", " UTF-8\r\n");
  const TEncodingDecision lying = DecideTableEncoding(shp(), dbf(), "");
  EXPECT_EQ(EncodingSummaryText(lying), "UTF-8 (.cpg)");
  ASSERT_EQ(lying.Warnings.size(), 1u);
  EXPECT_NE(lying.Warnings[0].find("UTF-8 ではありません"), std::string::npos);

  EXPECT_EQ(DecideTableEncoding(shp(), dbf(), "shift_jis").CodePage, 932);
  EXPECT_EQ(DecideTableEncoding(shp(), dbf(), "shift_jis").How, "--encoding");
  EXPECT_THROW(DecideTableEncoding(shp(), dbf(), "klingon"), EConvertError);
}

TEST_F(TodaysShapefiles, WesternTablesThatDeclareNothingAreReadAsCodePage1252WithAWarning) {
  Points(3);
  // OPERAÇÃO, Reykjavík, São Paulo in code page 1252; the "ANSI" byte says nothing.
  DbfBuilder()
      .Field("NAME", 'C', 12)
      .Field("CODE", 'C', 4)
      .Record({"OPERA\xC7\xC3O", "A1"})
      .Record({"Reykjav\xEDk", "B2"})
      .Record({"S\xE3o Paulo", "C3"})
      .Write(dbf());
  SetLanguageDriver(dbf(), 0x57);
  host.Opts.Utf8Output = true;
  const TConvertSummary summary = Convert();
  EXPECT_EQ(summary.Encoding, "CP1252 (内容、CP932 ではない)");
  ASSERT_EQ(summary.Notes.size(), 1u);
  EXPECT_NE(summary.Notes[0].find("CP1252 として読みました (レコード 1, 2, 3)"), std::string::npos)
      << summary.Notes[0];
  EXPECT_NE(summary.Notes[0].find("--encoding"), std::string::npos);
  EXPECT_EQ(ReadFile(mid()),
            "\"OPERAÇÃO\",\"A1\"\r\n\"Reykjavík\",\"B2\"\r\n\"São Paulo\",\"C3\"\r\n");
  // The bytes were all read for the decision: the ASCII column keeps its width.
  EXPECT_NE(ReadFile(mif()).find("NAME Char(36)\r\nCODE Char(4)\r\n"), std::string::npos)
      << ReadFile(mif());

  // Well-formed code page 932 with only a weak sign keeps code page 932, and says so.
  DbfBuilder().Field("NAME", 'C', 12).Record({"Reykjav\xEDk"}).Write(dbf());
  SetLanguageDriver(dbf(), 0);
  const TEncodingDecision weak = DecideTableEncoding(shp(), dbf(), "");
  EXPECT_EQ(EncodingSummaryText(weak), "CP932 (内容、要確認)");
  ASSERT_EQ(weak.Warnings.size(), 1u);
  EXPECT_NE(weak.Warnings[0].find("(レコード 1)"), std::string::npos) << weak.Warnings[0];
}

TEST_F(TodaysShapefiles, JapaneseTablesWithoutADeclarationStayCodePage932Silently) {
  Points(4);
  // ﾄｳｷｮｳﾄ, NTTﾄﾞｺﾓ, ｶﾌﾞｼｷｶﾞｲｼｬ ABC, A棟: half-width katakana and letters side by side.
  DbfBuilder()
      .Field("NAME", 'C', 20)
      .Record({"\xC4\xB3\xB7\xAE\xB3\xC4"})
      .Record({"NTT\xC4\xDE\xBA\xD3"})
      .Record({"\xB6\xCC\xDE\xBC\xB7\xB6\xDE\xB2\xBC\xAC ABC"})
      .Record({"A\x93\x8F"})
      .Write(dbf());
  for (const unsigned char ldid : {0x00, 0x57}) {
    SetLanguageDriver(dbf(), ldid);
    const TConvertSummary summary = Convert();
    EXPECT_EQ(summary.Encoding, "CP932 (内容)");
    EXPECT_TRUE(summary.Notes.empty()) << summary.Notes[0];
    EXPECT_EQ(ReadFile(mid()),
              "\"\xC4\xB3\xB7\xAE\xB3\xC4\"\r\n\"NTT\xC4\xDE\xBA\xD3\"\r\n"
              "\"\xB6\xCC\xDE\xBC\xB7\xB6\xDE\xB2\xBC\xAC ABC\"\r\n\"A\x93\x8F\"\r\n");
  }
}

TEST_F(TodaysShapefiles, CharColumnsAreOneTo254AndAsciiTextKeepsItsWidth) {
  Points(1);
  DbfBuilder()
      .Field("EMPTY", 'C', 0)
      .Field("WIDE", 'C', 255)
      .Field("NAME", 'C', 10)
      .Record({"", "w", "abc"})
      .Write(dbf());
  SetLanguageDriver(dbf(), 0x13);
  // Code page 932 in and out: nothing is transcoded, and still no column leaves 1 to 254.
  const TConvertSummary summary = Convert();
  EXPECT_NE(
      ReadFile(mif()).find("Columns 3\r\nEMPTY Char(1)\r\nWIDE Char(254)\r\nNAME Char(10)\r\n"),
      std::string::npos)
      << ReadFile(mif());
  EXPECT_EQ(ReadFile(mid()), "\"\",\"w\",\"abc\"\r\n");
  EXPECT_EQ(summary.Notes,
            (std::vector<std::string>{"フィールド EMPTY: 幅 0 の文字列を Char(1) にしました",
                                      "フィールド WIDE: 幅 255 の文字列を Char(254) にしました "
                                      "(MapInfo の上限)"}));
  // info says what the conversion writes.
  const TShapefileInfo info = DescribeShapefile(shp(), "");
  ASSERT_EQ(info.Fields.size(), 3u);
  EXPECT_EQ(info.Fields[0].MifColumn, "Char(1)");
  EXPECT_EQ(info.Fields[1].MifColumn, "Char(254)");

  // A declared single-byte code page whose text is ASCII: nothing can grow.
  DbfBuilder()
      .Field("NAME", 'C', 10)
      .Field("CITY", 'C', 10)
      .Record({"plain", "K\xF6ln"})
      .Write(dbf());
  SetLanguageDriver(dbf(), 0x03);  // code page 1252
  Convert();
  EXPECT_NE(ReadFile(mif()).find("NAME Char(10)\r\nCITY Char(20)\r\n"), std::string::npos)
      << ReadFile(mif());
  host.Opts.Encoding = "1252";
  Convert();
  EXPECT_NE(ReadFile(mif()).find("NAME Char(10)\r\nCITY Char(20)\r\n"), std::string::npos);
  host.Opts.Encoding.clear();
  // A code page 932 table decided by its bytes, written as UTF-8.
  DbfBuilder()
      .Field("NAME", 'C', 10)
      .Field("CITY", 'C', 10)
      .Record({"plain", "\x93\x8C\x8B\x9E"})
      .Write(dbf());
  SetLanguageDriver(dbf(), 0);
  host.Opts.Utf8Output = true;
  Convert();
  EXPECT_NE(ReadFile(mif()).find("NAME Char(10)\r\nCITY Char(30)\r\n"), std::string::npos)
      << ReadFile(mif());
}

TEST_F(TodaysShapefiles, Utf8TablesBecomeCodePage932WithBestFitAndACountOfWhatIsLost) {
  Points(3);
  // 東京〜 (U+301C), 髙 (an IBM extension), and an emoji with no code page 932 form.
  DbfBuilder b;
  b.Field("\xE5\x90\x8D", 'C', 20).Field("N", 'N', 3);  // 名
  b.Record({"\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x80\x9C", "1"});
  b.Record({"\xE9\xAB\x99", "2"});
  b.Record({"a\xF0\x9F\x98\x80z\xEF\xB8\x8F", "3"});  // emoji, then a variation selector
  b.Write(dbf());
  WriteFile(dir / "in.cpg", "UTF-8");
  const TConvertSummary summary = Convert();
  EXPECT_EQ(summary.Encoding, "UTF-8 (.cpg)");
  EXPECT_NE(ReadFile(mif()).find("Charset \"WindowsJapanese\"\r\n"), std::string::npos);
  EXPECT_NE(ReadFile(mif()).find("Columns 2\r\n\x96\xBC Char(20)\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(mid()),
            "\"\x93\x8C\x8B\x9E\x81\x60\",1\r\n\"\xFB\xFC\",2\r\n\"a\x81\xACz\",3\r\n");
  ASSERT_EQ(summary.Notes.size(), 1u);
  EXPECT_EQ(summary.Notes[0],
            "フィールド 名: 出力の文字コードにない 1 文字を〓にしました (レコード 3)");

  // Or UTF-8 out, byte for byte.
  host.Opts.Utf8Output = true;
  Convert();
  EXPECT_NE(ReadFile(mif()).find("Charset \"UTF-8\"\r\nDelimiter"), std::string::npos);
  EXPECT_NE(ReadFile(mid()).find("\"\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x80\x9C\",1\r\n"),
            std::string::npos);
}

TEST_F(TodaysShapefiles, CodePage932TablesPassThroughOrBecomeUtf8) {
  Points(1);
  DbfBuilder().Field("\x96\xBC", 'C', 8).Record({"\x95\x5C\x81\x60"}).Write(dbf());  // 名 / 表～
  SetLanguageDriver(dbf(), 0x13);
  Convert();
  EXPECT_EQ(ReadFile(mid()), "\"\x95\x5C\x81\x60\"\r\n");
  host.Opts.Utf8Output = true;
  Convert();
  // Each code page 932 byte may take three in UTF-8.
  EXPECT_NE(ReadFile(mif()).find("\xE5\x90\x8D Char(24)"), std::string::npos);
  EXPECT_EQ(ReadFile(mid()), "\"\xE8\xA1\xA8\xEF\xBD\x9E\"\r\n");
}

TEST_F(TodaysShapefiles, ColumnNamesBecomeReadableAndTheRenamesAreListed) {
  Points(1);
  DbfBuilder b;
  // The table itself refuses names equal but for case; sanitizing can still make two equal.
  b.Field("\"QCOLUMN", 'C', 2).Field("A B", 'C', 2).Field("1ST", 'C', 2).Field("a_b", 'C', 2);
  b.Field("", 'C', 2).Field("\x95\x5C", 'C', 2);  // 表: its trail byte is a backslash
  b.Record({"a", "b", "c", "d", "e", "f"}).Write(dbf());
  SetLanguageDriver(dbf(), 0x13);
  const TConvertSummary summary = Convert();
  // A name that is readable already keeps it; the new names go around it.
  EXPECT_NE(
      ReadFile(mif()).find("Columns 6\r\n_QCOLUMN Char(2)\r\nA_B_2 Char(2)\r\n_1ST Char(2)\r\n"
                           "a_b Char(2)\r\n_ Char(2)\r\n\x95\x5C Char(2)\r\nData"),
      std::string::npos)
      << ReadFile(mif());
  EXPECT_EQ(summary.Notes,
            (std::vector<std::string>{"列名を変えました: \"QCOLUMN -> _QCOLUMN",
                                      "列名を変えました: A B -> A_B_2",
                                      "列名を変えました: 1ST -> _1ST", "列名を変えました:  -> _"}));
}

TEST_F(TodaysShapefiles, ZAndMShapesAreWrittenAsTheir2DKinds) {
  const std::vector<TSFPoint> line = {{0, 0}, {1, 1}, {2, 0}};
  const std::vector<TSFPoint> ring = {{0, 0}, {0, 1}, {1, 1}, {0, 0}};
  ShpBuilder().Point(5, 6).PolyLine({0}, line).Polygon({0}, ring).Write(dir / "flat.shp");
  ShpBuilder()
      .PointZM(kShapePointZ, 5, 6, false)
      .MultiPartZM(kShapePolyLineM, {0}, line, true)
      .MultiPartZM(kShapePolygonZ, {0}, ring, true)
      .Write(shp());
  DbfBuilder table;
  table.Field("K", 'C', 1).Record({"p"}).Record({"l"}).Record({"r"});
  table.Write(dbf());
  table.Write(dir / "flat.dbf");
  const TConvertSummary summary = Convert();
  EXPECT_EQ(summary.FromZM, 3);
  ASSERT_TRUE(ConvertShpToMif(2, dir / "flat.shp", dir / "flat.mif", host));
  EXPECT_EQ(ReadFile(mif()), ReadFile(dir / "flat.mif"));
  EXPECT_EQ(ReadFile(mid()), ReadFile(dir / "flat.mid"));
}

TEST_F(TodaysShapefiles, MultipointFilesAreVersion650AndMultipatchIsPassedOver) {
  ShpBuilder()
      .HeaderShapeType(kShapeMultiPointZ)
      .MultiPoint(kShapeMultiPointZ, {{1, 2}, {3, 4}}, true)
      .Other(kShapeMultiPatch, std::string(44, '\0'))
      .MultiPoint(kShapeMultiPoint, {}, false)
      .Write(shp());
  DbfBuilder().Field("K", 'C', 1).Record({"a"}).Record({"b"}).Record({"c"}).Write(dbf());
  const TConvertSummary summary = Convert();
  const std::string text = ReadFile(mif());
  EXPECT_EQ(text.rfind("Version 650\r\n", 0), 0u);
  EXPECT_NE(
      text.find("Data\r\n\r\nMultipoint 2\r\n1.00000000 2.00000000\r\n3.00000000 4.00000000\r\n"),
      std::string::npos)
      << text;
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n\"c\"\r\n");
  EXPECT_EQ(summary.SkippedByShapeType, (std::map<int32_t, int64_t>{{kShapeMultiPatch, 1}}));
}

TEST_F(TodaysShapefiles, APrjThatNamesAnotherEntryAndImpossibleBoundsAreWarnedOf) {
  ShpBuilder().Bounds(139.5, 35.5, 139.5, 35.5).Point(139.5, 35.5).Write(shp());
  DbfBuilder().Field("K", 'C', 1).Record({"a"}).Write(dbf());
  WriteFile(dir / "in.prj",
            "GEOGCS[\"GCS_JGD_2011\",DATUM[\"D_JGD_2011\",SPHEROID[\"GRS_1980\",6378137.0,298."
            "257222101]],"
            "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]");
  EXPECT_TRUE(Convert(2).Notes.empty());
  // A plane zone for coordinates that are plainly degrees: both warnings, and still converted.
  const TConvertSummary summary = Convert(30);
  EXPECT_EQ(summary.Notes.size(), 2u);
}

TEST_F(TodaysShapefiles, WorldDataWithItsOwnWgs84PrjRaisesNoWarning) {
  // A header box to the limits up to rounding, and a datum spelled with EPSG notes.
  ShpBuilder()
      .Bounds(-180.0000000000002, -90.00000000000003, 180.0000000000002, 90)
      .Point(-180, -90)
      .Point(180, 90)
      .Write(shp());
  DbfBuilder().Field("K", 'C', 1).Record({"a"}).Record({"b"}).Write(dbf());
  WriteFile(dir / "in.prj",
            "GEOGCS[\"WGS84 Coordinate System\",DATUM[\"World Geodetic System 1984 [EPSG ID "
            "6326]\",SPHEROID[\"WGS 84 [EPSG ID 7030]\",6378137,298.257223563]],PRIMEM["
            "\"Greenwich\",0],UNIT[\"Degrees\",0.0174532925199433]]");
  const std::optional<TPrjMatch> prj = ReadPrjBeside(shp());
  ASSERT_TRUE(prj && prj->Found) << (prj ? prj->Reason : "");
  EXPECT_EQ(prj->Index, 1);
  EXPECT_EQ(Convert(1).Notes, std::vector<std::string>{});
  // Another entry than the .prj's is still questioned.
  EXPECT_EQ(Convert(30).Notes.size(), 2u);
}

TEST_F(TodaysShapefiles, UnsupportedFieldsRefuseTheTableUnlessTheUserLeavesThemOut) {
  Points(1);
  DbfBuilder().Field("NAME", 'C', 4).Field("MEMO", 'M', 10).Record({"a", "1"}).Write(dbf());
  try {
    ConvertShpToMif(2, shp(), mif(), host);
    FAIL();
  } catch (const ELocalDbfError& e) {
    EXPECT_EQ(e.Message(), "DBFファイル \"" + dbf() +
                               "\" を開けません: 対応していないフィールド型です。 (フィールド "
                               "\"MEMO\" 型 M)");
  }
  host.Opts.SkipUnsupportedFields = true;
  const TConvertSummary summary = Convert();
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n");
  EXPECT_EQ(summary.Notes,
            std::vector<std::string>{"対応していない型のフィールドを除きました: MEMO (M)"});
}

TEST_F(TodaysShapefiles, OneThreadAndSeveralWriteTheSameFiles) {
  // Every kind, null and other records, deleted records and a short table, over more than
  // one buffer of output so that the background writes really take turns.
  ShpBuilder b;
  DbfBuilder d;
  d.Field("NAME", 'C', 12).Field("N", 'N', 12);
  for (int i = 0; i < 60000; ++i) {
    switch (i % 6) {
      case 0:
        b.Point(i, -i);
        break;
      case 1:
        b.PolyLine({0, 2}, {{0, 0}, {1, 1}, {2, 2}, {double(i), 3}});
        break;
      case 2:
        b.Polygon({0}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}});
        break;
      case 3:
        b.Null();
        break;
      case 4:
        b.MultiPoint(kShapeMultiPointZ, {{1, 2}, {double(i), 4}}, true);
        break;
      default:
        b.Other(kShapeMultiPatch, std::string(44, '\0'));
        break;
    }
    if (i < 59000) {
      const std::vector<std::string> values = {"行" + std::to_string(i),
                                               std::to_string(i * 1000003LL)};
      i % 7 == 0 ? d.Deleted(values) : d.Record(values);
    }
  }
  b.Write(shp());
  d.Write(dbf());
  host.Opts.Threads = 1;
  const TConvertSummary one = Convert();
  const std::string mifOne = ReadFile(mif()), midOne = ReadFile(mid());
  ASSERT_GT(mifOne.size(), 2u * (1u << 20));
  host.Opts.Threads = 4;
  const TConvertSummary many = Convert();
  EXPECT_EQ(ReadFile(mif()), mifOne);
  EXPECT_EQ(ReadFile(mid()), midOne);
  EXPECT_EQ(many.Objects, one.Objects);
  EXPECT_EQ(many.ShapesWithoutRecord, one.ShapesWithoutRecord);
  EXPECT_GT(one.ShapesWithoutRecord, 0);
  EXPECT_EQ(many.DeletedSkipped, one.DeletedSkipped);

  // And the bundled samples.
  for (const std::string name : {"stations", "roads", "parcels"}) {
    const std::string source = std::string(PLEXOR_SOURCE_DIR) + "/samples/" + name + ".shp";
    host.Opts.Threads = 1;
    ASSERT_TRUE(ConvertShpToMif(30, source, dir / "one.mif", host));
    host.Opts.Threads = 2;
    ASSERT_TRUE(ConvertShpToMif(30, source, dir / "two.mif", host));
    EXPECT_EQ(ReadFile(dir / "two.mif"), ReadFile(dir / "one.mif")) << name;
    EXPECT_EQ(ReadFile(dir / "two.mid"), ReadFile(dir / "one.mid")) << name;
  }
}

TEST_F(TodaysShapefiles, InfoDescribesWithoutConvertingAndListsProblems) {
  const ShpBuilder b = ShpBuilder().Point(1, 2).PointZM(kShapePointZ, 3, 4, true).Null();
  b.Write(shp(), static_cast<int64_t>(b.Bytes().size()) - 2);  // the null record is cut
  DbfBuilder d;
  d.Field("NAME", 'C', 4).Field("BIG", 'N', 12).Record({"a", "1"}).Deleted({"b", "2"});
  d.Write(dbf());
  const TShapefileInfo info = DescribeShapefile(shp(), "");
  EXPECT_EQ(info.Records, 2);
  EXPECT_EQ(info.RecordsByType, (std::map<int32_t, int64_t>{{kShapePoint, 1}, {kShapePointZ, 1}}));
  EXPECT_EQ(info.TableRecords, 2);
  EXPECT_EQ(info.DeletedRecords, 1);
  ASSERT_EQ(info.Fields.size(), 2u);
  EXPECT_EQ(info.Fields[1].MifColumn, "Decimal(12,0)");
  ASSERT_EQ(info.Problems.size(), 1u);
  EXPECT_NE(info.Problems[0].find("レコード 3"), std::string::npos) << info.Problems[0];
  const std::string json = ShapefileInfoJson(info);
  EXPECT_NE(json.find("\"recordsByType\":{\"Point\":1,\"PointZ\":1}"), std::string::npos) << json;
  EXPECT_NE(json.find("\"prj\":null"), std::string::npos);
  EXPECT_NE(ShapefileInfoText(info).find("BIG N(12,0) -> Decimal(12,0)"), std::string::npos);
}

}  // namespace
}  // namespace plexor
