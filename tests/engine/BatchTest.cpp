#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Batch.h"
#include "engine/ShpToMif.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/FileHandle.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::ReadFile;
using test::ShpBuilder;
using test::WriteFile;

class BatchTest : public ::testing::Test {
 protected:
  // A shapefile of `points` points with a one-column table named `column`.
  std::string MakeInput(const std::string& name, int points, const std::string& column = "NAME",
                        char type = 'C') {
    ShpBuilder shp;
    DbfBuilder dbf;
    dbf.Field(column, type, 6);
    for (int i = 0; i < points; ++i) {
      shp.Point(i, i);
      dbf.Record({type == 'C' ? name + std::to_string(i) : std::to_string(i)});
    }
    shp.Write(dir / (name + ".shp"));
    dbf.Write(dir / (name + ".dbf"));
    return dir / (name + ".shp");
  }

  std::vector<std::string> Lines(const std::string& text) {
    WriteFile(dir / "batch.txt", text);
    return ReadBatchLines(dir / "batch.txt");
  }

  test::TempDir dir;
  test::FakeHost host;
};

TEST_F(BatchTest, LinesEndAtCrLfLfOrCrAndKeepEveryOtherByte) {
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(Lines(std::string("a\nb\0c\nd", 7)),
            (std::vector<std::string>{"a", std::string("b\0c", 3), "d"}));
  EXPECT_EQ(Lines(""), std::vector<std::string>{});
  EXPECT_THROW(ReadBatchLines(dir / "missing.txt"), EFOpenError);
}

TEST_F(BatchTest, LinesAreSplitAlikeWhereverTheFileIsReadInPieces) {
  // The file is read in pieces of 64 KiB: a CR LF across the seam is one ending.
  const std::string first(64 * 1024 - 1, 'a');
  EXPECT_EQ(Lines(first + "\r\nb\r\n"), (std::vector<std::string>{first, "b"}));
  EXPECT_EQ(Lines(first + "\rb" + std::string(70000, 'c') + "\nd"),
            (std::vector<std::string>{first, "b" + std::string(70000, 'c'), "d"}));
}

// A NUL or another control byte is a damaged file: reading on would drop or bend rows
// without a word, so the whole file is refused with the line that holds it.
TEST_F(BatchTest, AControlByteAnywhereRefusesTheFileWithItsLine) {
  const std::string head = "Plexor\r\n200\r\n0\r\n\r\n";
  const std::string row = "\"0\"\t\"a.shp\"\t\"a.mif\"\r\n";
  for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
           {head + row + std::string("\"0\"\t\"b\0.shp\"\t\"b.mif\"\r\n", 22) + row,
            "6 行目に制御文字 (0x00) があります"},
           {head + row + row + "\x1B[0m\r\n", "7 行目に制御文字 (0x1B) があります"},
           {"Plexor\r\n200\r\n0\r\nall\x7F.mif\r\n", "4 行目に制御文字 (0x7F) があります"},
           {head + row + "\x01\r\n", "6 行目に制御文字 (0x01) があります"}}) {
    bool combine = false;
    std::string name, why;
    std::vector<TBatchRow> rows;
    EXPECT_FALSE(ParseBatchLines(Lines(text), combine, name, rows, "", &why));
    EXPECT_EQ(why, expected);
    EXPECT_TRUE(rows.empty());
  }
}

TEST_F(BatchTest, RowsWritingOneTargetFromDifferentSourcesAreRefusedBeforeAnyRuns) {
  const std::string a = MakeInput("a", 1);
  const std::string b = MakeInput("b", 1);
  std::filesystem::create_directory(dir / "out");
  std::filesystem::create_directory_symlink("out", dir / "alias");
  std::vector<TBatchRow> rows = {MakeBatchRow(0, a, dir / "out/x.mif"),
                                 MakeBatchRow(0, a, dir / "y.mif"),
                                 MakeBatchRow(0, b, dir / "alias/./x.mif")};
  for (int jobs : {1, 2}) {
    TBatchRunOptions options;
    options.Jobs = jobs;
    EXPECT_FALSE(RunBatch(rows, options, host));
    EXPECT_EQ(host.Messages.back().Kind, MessageKind::Warning);
    EXPECT_EQ(host.Messages.back().Text,
              "1 行目と 3 行目は別の変換元を同じ " + (dir / "alias/./x.mif") + " に出力します。");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
    EXPECT_FALSE(RegularFileExists(dir / "y.mif"));
  }
  // The same source twice is a repeat, not a clash.
  rows[2].SourcePath = a;
  EXPECT_TRUE(RunBatch(rows, {}, host));
  EXPECT_TRUE(RegularFileExists(dir / "out/x.mif"));
}

TEST_F(BatchTest, AStopAskedForBeforeTheRowsAreLookedAtConvertsNothing) {
  const std::string a = MakeInput("a", 1);
  std::vector<TBatchRow> rows = {MakeBatchRow(0, a, dir / "x.mif")};
  host.CancelAfterPolls = 0;
  TBatchRunOptions options;
  options.Jobs = 2;
  EXPECT_FALSE(RunBatch(rows, options, host));
  EXPECT_FALSE(RegularFileExists(dir / "x.mif"));
  EXPECT_EQ(rows[0].Mark, TBatchMark::None);
}

TEST_F(BatchTest, MarkerAndVersionAreTrimmedAndCaseFolded) {
  bool combine = true;
  std::string name = "keep";
  std::vector<TBatchRow> rows;
  EXPECT_TRUE(ParseBatchLines({"  PLEXOR \t", " 200", "0", ""}, combine, name, rows));
  EXPECT_FALSE(combine);
  EXPECT_EQ(name, "");
  EXPECT_TRUE(rows.empty());

  combine = true;
  name = "keep";
  // Each refusal says which line is wrong.
  for (const auto& [lines, why] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"Plexorx", "200", "0", ""}, "1 行目が Plexor ではありません"},
           {{"", "200", "0", ""}, "1 行目が Plexor ではありません"},
           {{"Plexor", "201", "0", ""}, "2 行目が 200 ではありません"},
           {{"Plexor", "200", "0"}, "4 行に足りません (3 行)"}}) {
    std::string said;
    EXPECT_FALSE(ParseBatchLines(lines, combine, name, rows, {}, &said));
    EXPECT_EQ(said, why);
  }
  EXPECT_TRUE(combine);
  EXPECT_EQ(name, "keep");
}

TEST_F(BatchTest, HandWrittenFilesWithABomBlankTailAndRelativePathsLoad) {
  bool combine = false;
  std::string name;
  std::vector<TBatchRow> rows;
  ASSERT_TRUE(ParseBatchLines(
      {"\xEF\xBB\xBFPlexor", "200", "-1", "all.mif", "\"0\"\t\"a.shp\"\t\"/abs/a.mif\"", "", " \t"},
      combine, name, rows, "/data/lists/"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].SourcePath, "/data/lists/a.shp");
  EXPECT_EQ(rows[0].TargetPath, "/abs/a.mif");
  EXPECT_EQ(name, "/data/lists/all.mif");
  // A blank line before a row is no tail: it is a row, and its error names its line.
  rows.clear();
  try {
    ParseBatchLines({"Plexor", "200", "0", "", "", "\"0\"\t\"a\"\t\"b\""}, combine, name, rows);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "5 行目: '' は整数ではありません");
  }
}

TEST_F(BatchTest, TheReasonRowsCannotBeCombinedIsTheRealOne) {
  const std::string a = MakeInput("a", 1);
  const std::string b = MakeInput("b", 1, "OTHER");
  EXPECT_EQ(WhyBatchCannotCombine({MakeBatchRow(0, a, dir / "x.mif")}),
            "統合するには 2 行以上が必要です。");
  EXPECT_EQ(
      WhyBatchCannotCombine({MakeBatchRow(0, a, dir / "x.mif"), MakeBatchRow(1, a, dir / "y.mif")}),
      "2 行目の座標系が 1 行目と異なります。");
  EXPECT_EQ(
      WhyBatchCannotCombine({MakeBatchRow(0, a, dir / "x.mif"), MakeBatchRow(0, b, dir / "y.mif")}),
      "2 行目の属性定義が 1 行目と異なります。");
  EXPECT_EQ(WhyBatchCannotCombine({MakeBatchRow(0, a, dir / "x.mif"),
                                   MakeBatchRow(0, dir / "no.shp", dir / "y.mif")}),
            "2 行目の DBF ファイルがありません: " + dir / "no.dbf");
  EXPECT_EQ(
      WhyBatchCannotCombine({MakeBatchRow(0, a, dir / "x.mif"), MakeBatchRow(0, a, dir / "y.mif")}),
      "");
}

TEST_F(BatchTest, CombineFlagIsANumberOrTrueOrFalse) {
  std::vector<TBatchRow> rows;
  std::string name;
  for (const auto& [text, expected] : std::vector<std::pair<std::string, bool>>{{"-1", true},
                                                                                {"0", false},
                                                                                {"1", true},
                                                                                {"TRUE", true},
                                                                                {"false", false},
                                                                                {"0.0", false}}) {
    bool combine = !expected;
    ASSERT_TRUE(ParseBatchLines({"Plexor", "200", text, "c.mif"}, combine, name, rows)) << text;
    EXPECT_EQ(combine, expected) << text;
  }
  bool combine = false;
  for (const char* notANumber : {"nan", "inf", "-INF", "1e999", "+-1"}) {
    EXPECT_THROW(ParseBatchLines({"Plexor", "200", notANumber, ""}, combine, name, rows),
                 EConvertError);
  }
  name = "before";
  try {
    ParseBatchLines({"Plexor", "200", "yes", "c.mif", "\"0\"\t\"a\"\t\"b\""}, combine, name, rows);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "3 行目: 'yes' は正しい論理型ではありません");
  }
  EXPECT_EQ(name, "before");
  EXPECT_TRUE(rows.empty());
}

TEST_F(BatchTest, RowLinesKeepIndexTextAndStopAtTheFirstBadRow) {
  bool combine;
  std::string name;
  std::vector<TBatchRow> rows;
  ASSERT_TRUE(
      ParseBatchLines({"Plexor", "200", "0", "", "\"05\"\t\"a b.shp\"\t\"c.mif\"", "3 x.shp y.mif"},
                      combine, name, rows));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].IndexText, "05");
  EXPECT_EQ(rows[0].DisplayText, "平面直角座標系(日本測地系)/第3系");
  EXPECT_EQ(rows[0].SourcePath, "a b.shp");
  EXPECT_EQ(rows[1].SourcePath, "x.shp");
  EXPECT_EQ(rows[1].Mark, TBatchMark::None);

  rows.clear();
  try {
    ParseBatchLines({"Plexor", "200", "0", "", "\"1\"\t\"a\"\t\"b\"", "\"41\"\t\"c\"\t\"d\"",
                     "\"2\"\t\"e\"\t\"f\""},
                    combine, name, rows);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "6 行目: リストのインデックスが範囲を超えています (41)");
  }
  EXPECT_EQ(rows.size(), 1u);
  rows.clear();
  EXPECT_THROW(
      ParseBatchLines({"Plexor", "200", "0", "", "\"x\"\t\"a\"\t\"b\""}, combine, name, rows),
      EConvertError);
  try {
    ParseBatchLines({"Plexor", "200", "0", "", "\"+-5\"\t\"a\"\t\"b\""}, combine, name, rows);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "5 行目: '+-5' は整数ではありません");
  }
  // A hand-written unquoted path with a blank splits at the blank.
  rows.clear();
  ParseBatchLines({"Plexor", "200", "0", "", "1 my roads.shp"}, combine, name, rows);
  EXPECT_EQ(rows[0].SourcePath, "my");
  EXPECT_EQ(rows[0].TargetPath, "roads.shp");
}

TEST_F(BatchTest, AnIndexIsADecimalIntegerAsWrittenInsideItsQuotes) {
  auto load = [&](const std::string& index) {
    bool combine;
    std::string name;
    std::vector<TBatchRow> rows;
    ParseBatchLines({"Plexor", "200", "0", "", "\"" + index + "\"\t\"a\"\t\"b\""}, combine, name,
                    rows);
    return rows.at(0);
  };
  EXPECT_EQ(load("+5").DisplayText, "平面直角座標系(日本測地系)/第3系");
  EXPECT_EQ(load("007").IndexText, "007");
  EXPECT_EQ(BatchRowIndex(load("-0")), 0);
  // Unlike a number field of a table, the index is not trimmed: blanks make it no integer.
  for (const char* bad : {" 5", "5 ", "5.0", "0x5", "2147483648"}) {
    try {
      load(bad);
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("5 行目: '") + bad + "' は整数ではありません");
    }
  }
  EXPECT_THROW(load("-1"), EListError);
}

TEST_F(BatchTest, SaveThenLoadRoundTrips) {
  std::vector<TBatchRow> rows = {MakeBatchRow(3, "道 1.shp", "道 1.mif"),
                                 MakeBatchRow(22, "b.shp", "b.mif")};
  rows[1].IndexText = "022";
  WriteBatchFile(dir / "b.txt", true, " out.mif ", rows);
  EXPECT_EQ(ReadFile(dir / "b.txt"),
            "Plexor\r\n200\r\n-1\r\n out.mif \r\n\"3\"\t\"道 1.shp\"\t\"道 1.mif\"\r\n"
            "\"022\"\t\"b.shp\"\t\"b.mif\"\r\n");
  bool combine = false;
  std::string name;
  std::vector<TBatchRow> loaded;
  ASSERT_TRUE(ParseBatchLines(ReadBatchLines(dir / "b.txt"), combine, name, loaded));
  EXPECT_TRUE(combine);
  EXPECT_EQ(name, " out.mif ");
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].SourcePath, "道 1.shp");
  EXPECT_EQ(loaded[1].IndexText, "022");
  EXPECT_EQ(loaded[1].DisplayText, "平面直角座標系(世界測地系)/第1系");
  EXPECT_TRUE(BatchRowsCanBeSaved(rows));
  rows[0].SourcePath = "a\"b.shp";
  EXPECT_FALSE(BatchRowsCanBeSaved(rows));
}

TEST_F(BatchTest, CanCombineNeedsOneCoordSysAndEqualColumns) {
  const std::string a = MakeInput("a", 1);
  const std::string b = MakeInput("b", 2);
  EXPECT_TRUE(CanCombineBatch({MakeBatchRow(3, a, "x.mif"), MakeBatchRow(3, b, "y.mif")}));
  EXPECT_FALSE(CanCombineBatch({MakeBatchRow(3, a, "x.mif")}));
  EXPECT_FALSE(CanCombineBatch({MakeBatchRow(3, a, "x.mif"), MakeBatchRow(22, b, "y.mif")}));
  const std::string lower = MakeInput("c", 1, "name");
  EXPECT_FALSE(CanCombineBatch({MakeBatchRow(3, a, "x.mif"), MakeBatchRow(3, lower, "y.mif")}));
  const std::string number = MakeInput("d", 1, "NAME", 'N');
  EXPECT_FALSE(CanCombineBatch({MakeBatchRow(3, a, "x.mif"), MakeBatchRow(3, number, "y.mif")}));
  EXPECT_FALSE(
      CanCombineBatch({MakeBatchRow(3, a, "x.mif"), MakeBatchRow(3, dir / "none.shp", "y")}));
  // Widths may differ.
  DbfBuilder wide;
  wide.Field("NAME", 'C', 30).Record({"w"});
  wide.Write(dir / "e.dbf");
  EXPECT_TRUE(CanCombineBatch({MakeBatchRow(3, a, "x.mif"), MakeBatchRow(3, dir / "e.shp", "y")}));
}

TEST_F(BatchTest, RunMarksRowsAndCombinesFromTheFirstConvertedRow) {
  const std::string a = MakeInput("a", 1);
  const std::string b = MakeInput("b", 2);
  std::vector<TBatchRow> rows = {MakeBatchRow(3, dir / "missing.shp", dir / "m.mif"),
                                 MakeBatchRow(3, a, dir / "a.mif"),
                                 MakeBatchRow(3, b, dir / "b.mif")};
  TBatchRunOptions options;
  options.Combine = true;
  options.CombineName = dir / "all.txt";
  ASSERT_TRUE(RunBatch(rows, options, host));
  EXPECT_EQ(rows[0].Mark, TBatchMark::Failed);
  EXPECT_EQ(rows[1].Mark, TBatchMark::Converted);
  EXPECT_EQ(rows[2].Mark, TBatchMark::Converted);
  const std::string aMif = ReadFile(dir / "a.mif");
  const std::string bMif = ReadFile(dir / "b.mif");
  EXPECT_EQ(ReadFile(dir / "all.txt"), aMif + bMif.substr(bMif.find("Data\r\n") + 6));
  EXPECT_EQ(ReadFile(dir / "all.mid"), ReadFile(dir / "a.mid") + ReadFile(dir / "b.mid"));
  ASSERT_FALSE(host.Messages.empty());
  EXPECT_EQ(host.Messages.back().Text, "変換が終了しました。");
  EXPECT_EQ(host.Messages.back().Kind, MessageKind::Information);
  EXPECT_EQ(host.StatusTexts.back(), "");
  EXPECT_NE(
      std::find(host.StatusTexts.begin(), host.StatusTexts.end(), "MIFファイルを統合しています。"),
      host.StatusTexts.end());
}

TEST_F(BatchTest, CombiningFindsTheDataLineInAnyCaseAndDropsTextAfterALoneCr) {
  WriteFile(dir / "h.mif", "Version 300\r\nData\r\n\r\nPoint 1 1\r\n");
  WriteFile(dir / "h.mid", "1\r\n");
  WriteFile(dir / "l.mif", "Version 300\n  data \t\nPoint 2 2\rjunk\nPoint 3 3");
  WriteFile(dir / "l.mid", "2\n");
  WriteFile(dir / "n.mif", "no data line here\r\n");
  WriteFile(dir / "n.mid", "3\r\n");
  std::vector<TBatchRow> rows = {
      MakeBatchRow(0, "s", dir / "f.mif"), MakeBatchRow(0, "s", dir / "h.mif"),
      MakeBatchRow(0, "s", dir / "l.mif"), MakeBatchRow(0, "s", dir / "n.mif"),
      MakeBatchRow(0, "s", dir / "gone.mif")};
  rows[0].Mark = TBatchMark::Failed;  // a failed row is left out even though its files exist
  WriteFile(dir / "f.mif", "Version 300\r\nData\r\n\r\nPoint 9 9\r\n");
  for (size_t i = 1; i < rows.size(); ++i) rows[i].Mark = TBatchMark::Converted;
  CombineBatchOutputs(rows, dir / "c.mif", host);
  EXPECT_EQ(ReadFile(dir / "c.mif"),
            "Version 300\r\nData\r\n\r\nPoint 1 1\r\nPoint 2 2\r\nPoint 3 3\r\n");
  EXPECT_EQ(ReadFile(dir / "c.mid"), "1\r\n2\r\n3\r\n");
  EXPECT_EQ(host.SelectedRows.size(), 2 * rows.size() * 1);
}

// The line rules of combining, applied to a whole text at once: a line's text ends at its
// first CR or LF, the line at the next LF, and every line is written with CR LF.
std::string CrLfLines(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t lf = text.find('\n', i);
    const size_t end = lf == std::string::npos ? text.size() : lf;
    const size_t stop = std::min(end, text.find('\r', i));
    out += text.substr(i, stop - i) + "\r\n";
    i = end + 1;
  }
  return out;
}

TEST_F(BatchTest, CombiningLargeFilesMixesWholeCrLfRunsWithStrayLineEnds) {
  // Several MiB of CR LF lines, with a lone CR, a bare LF and a line across every chunk
  // boundary somewhere in them, and no line end at the very end.
  std::string body;
  for (int i = 0; body.size() < (5u << 20); ++i) {
    body += "Pline " + std::to_string(i) + (i % 50000 == 7 ? "\rjunk" : "") +
            (i % 70001 == 3 ? "\n" : "\r\n");
  }
  body += "last";
  const std::string head = "Version 300\r\nData\r\n\r\n";
  WriteFile(dir / "a.mif", head + body);
  WriteFile(dir / "a.mid", body);
  WriteFile(dir / "b.mif", head + "Point 1 1\r\n");
  WriteFile(dir / "b.mid", "1\r\n");
  std::vector<TBatchRow> rows = {MakeBatchRow(0, "s", dir / "b.mif"),
                                 MakeBatchRow(0, "s", dir / "a.mif")};
  for (TBatchRow& row : rows) row.Mark = TBatchMark::Converted;
  CombineBatchOutputs(rows, dir / "c.mif", host);
  // The empty line after the second file's "Data" line is its own and is kept.
  EXPECT_TRUE(ReadFile(dir / "c.mif") == head + "Point 1 1\r\n\r\n" + CrLfLines(body));
  EXPECT_TRUE(ReadFile(dir / "c.mid") == "1\r\n" + CrLfLines(body));
}

TEST_F(BatchTest, CombiningStoppedOrFailedHalfWayLeavesTheEarlierPair) {
  WriteFile(dir / "a.mif", "Version 300\r\nData\r\nPoint 1 1\r\n");
  WriteFile(dir / "a.mid", "1\r\n");
  WriteFile(dir / "b.mif", "Version 300\r\nData\r\nPoint 2 2\r\n");
  WriteFile(dir / "b.mid", "2\r\n");
  std::vector<TBatchRow> rows = {MakeBatchRow(0, "s", dir / "a.mif"),
                                 MakeBatchRow(0, "s", dir / "b.mif")};
  for (TBatchRow& row : rows) row.Mark = TBatchMark::Converted;
  WriteFile(dir / "c.mif", "earlier\r\n");
  WriteFile(dir / "c.mid", "earlier\r\n");
  const std::vector<std::string> before = dir.Entries();

  // Stopped once the MIF parts are written: neither combined file changes.
  host.CancelAfterPolls = 2;
  EXPECT_FALSE(CombineBatchOutputs(rows, dir / "c.mif", host));
  EXPECT_EQ(ReadFile(dir / "c.mif"), "earlier\r\n");
  EXPECT_EQ(ReadFile(dir / "c.mid"), "earlier\r\n");
  EXPECT_EQ(dir.Entries(), before);

  // The MID cannot be created: the MIF written before it is not published alone.
  host.CancelAfterPolls = -1;
  ASSERT_TRUE(std::filesystem::create_directory(dir / "d.mid"));
  EXPECT_THROW(CombineBatchOutputs(rows, dir / "d.mif", host), EFCreateError);
  EXPECT_FALSE(std::filesystem::exists(dir / "d.mif"));

  EXPECT_TRUE(CombineBatchOutputs(rows, dir / "c.mif", host));
  EXPECT_EQ(ReadFile(dir / "c.mid"), "1\r\n2\r\n");
}

TEST_F(BatchTest, NothingConvertedStillCreatesEmptyCombinedFiles) {
  std::vector<TBatchRow> rows = {MakeBatchRow(0, dir / "x.shp", dir / "x.mif"),
                                 MakeBatchRow(0, dir / "y.shp", dir / "y.mif")};
  TBatchRunOptions options;
  options.Combine = true;
  options.CombineName = dir / "c.mif";
  ASSERT_TRUE(RunBatch(rows, options, host));
  EXPECT_EQ(rows[0].Mark, TBatchMark::Failed);
  EXPECT_EQ(rows[1].Mark, TBatchMark::Failed);
  EXPECT_EQ(ReadFile(dir / "c.mif"), "");
  EXPECT_EQ(ReadFile(dir / "c.mid"), "");
  EXPECT_EQ(host.Messages.back().Text, "変換が終了しました。");
}

TEST_F(BatchTest, ValidationRefusesBeforeAnyConversion) {
  const std::string a = MakeInput("a", 1);
  std::vector<TBatchRow> none;
  EXPECT_FALSE(RunBatch(none, {}, host));
  EXPECT_EQ(host.Messages.back().Text, "対象のバッチリストがありません。");
  EXPECT_EQ(host.Messages.back().Kind, MessageKind::Warning);

  std::vector<TBatchRow> rows = {MakeBatchRow(0, a, dir / "a.mif")};
  for (const std::string& bad : {std::string(" \t "), a, dir / "a.dbf", dir / "a.mif",
                                 dir / "a.mid", dir / "c.mid", dir.Path() + "/./a.mif"}) {
    TBatchRunOptions options;
    options.Combine = true;
    options.CombineName = bad;
    EXPECT_FALSE(RunBatch(rows, options, host)) << bad;
    EXPECT_EQ(host.Messages.back().Text, "統合後のファイル名が不正です。");
  }
  EXPECT_EQ(rows[0].Mark, TBatchMark::None);
  EXPECT_FALSE(RegularFileExists(dir / "a.mif"));
}

TEST_F(BatchTest, AnErrorEndsTheRunAfterTheClosingStep) {
  const std::string a = MakeInput("a", 1);
  std::vector<TBatchRow> rows = {MakeBatchRow(0, a, dir / "a.mif"),
                                 MakeBatchRow(0, a, dir / "nofolder/b.mif"),
                                 MakeBatchRow(0, a, dir / "c.mif")};
  EXPECT_THROW(RunBatch(rows, {}, host), EFCreateError);
  EXPECT_EQ(rows[0].Mark, TBatchMark::Converted);
  EXPECT_EQ(rows[1].Mark, TBatchMark::None);
  EXPECT_EQ(rows[2].Mark, TBatchMark::None);
  EXPECT_EQ(host.Messages.back().Text, "変換が終了しました。");
  EXPECT_EQ(host.StatusTexts.back(), "");
  EXPECT_FALSE(RegularFileExists(dir / "c.mif"));

  // In a parallel run a row waiting behind the failed one (it writes the same target) is
  // not converted either.
  std::remove((dir / "a.mif").c_str());
  rows.push_back(MakeBatchRow(0, a, dir / "nofolder/b.mif"));
  TBatchRunOptions parallel;
  parallel.Jobs = 3;
  EXPECT_THROW(RunBatch(rows, parallel, host), EFCreateError);
  EXPECT_EQ(rows[0].Mark, TBatchMark::Converted);
  EXPECT_EQ(rows[3].Mark, TBatchMark::None);
}

TEST_F(BatchTest, ParallelRunGivesTheSameFilesAsASequentialOne) {
  std::vector<TBatchRow> rows;
  for (int i = 0; i < 6; ++i) {
    const std::string src = MakeInput("p" + std::to_string(i), 50 + i);
    rows.push_back(MakeBatchRow(0, src, dir / ("o" + std::to_string(i) + ".mif")));
  }
  // Two rows writing the same output must still run in list order.
  rows.push_back(MakeBatchRow(0, rows[0].SourcePath, dir / "o0.mif"));
  TBatchRunOptions options;
  options.Combine = true;
  options.CombineName = dir / "seq.mif";
  ASSERT_TRUE(RunBatch(rows, options, host));
  const std::string seqMif = ReadFile(dir / "seq.mif");
  const std::string seqMid = ReadFile(dir / "seq.mid");
  const std::string o0 = ReadFile(dir / "o0.mif");
  options.CombineName = dir / "par.mif";
  options.Jobs = 4;
  ASSERT_TRUE(RunBatch(rows, options, host));
  EXPECT_EQ(ReadFile(dir / "par.mif"), seqMif);
  EXPECT_EQ(ReadFile(dir / "par.mid"), seqMid);
  EXPECT_EQ(ReadFile(dir / "o0.mif"), o0);
  for (const TBatchRow& row : rows) EXPECT_EQ(row.Mark, TBatchMark::Converted);
}

TEST_F(BatchTest, ParallelRunsUnderStressWriteWhatASequentialRunWrites) {
  // Many rows over few files: every row shares its source with others and its output with
  // rows far before it, and inputs of different sizes make the rows finish out of order.
  std::vector<std::string> sources;
  for (int i = 0; i < 3; ++i) sources.push_back(MakeInput("s" + std::to_string(i), 5 + 400 * i));
  std::vector<TBatchRow> rows;
  for (int i = 0; i < 24; ++i) {
    const std::string target = dir / ("t" + std::to_string((i * 7) % 4) + ".mif");
    rows.push_back(MakeBatchRow(0, sources[static_cast<size_t>(((i * 7) % 4) % 3)], target));
  }
  TBatchRunOptions options;
  options.Combine = true;
  options.CombineName = dir / "seq.mif";
  ASSERT_TRUE(RunBatch(rows, options, host));
  std::vector<std::string> expected;
  for (int t = 0; t < 4; ++t)
    expected.push_back(ReadFile(dir / ("t" + std::to_string(t) + ".mid")));
  const std::string seqMif = ReadFile(dir / "seq.mif");
  const std::string seqMid = ReadFile(dir / "seq.mid");

  options.CombineName = dir / "par.mif";
  for (int run = 0; run < 5; ++run) {
    options.Jobs = 2 + run % 3;
    ASSERT_TRUE(RunBatch(rows, options, host));
    for (int t = 0; t < 4; ++t) {
      EXPECT_EQ(ReadFile(dir / ("t" + std::to_string(t) + ".mid")),
                expected[static_cast<size_t>(t)]);
    }
    EXPECT_EQ(ReadFile(dir / "par.mif"), seqMif);
    EXPECT_EQ(ReadFile(dir / "par.mid"), seqMid);
    for (const TBatchRow& row : rows) EXPECT_EQ(row.Mark, TBatchMark::Converted);
  }
}

TEST_F(BatchTest, FailedRowsKeepTheirReason) {
  const std::string good = MakeInput("good", 2);
  std::vector<TBatchRow> rows = {MakeBatchRow(0, dir / "none.shp", dir / "a.mif"),
                                 MakeBatchRow(0, good, dir / "b.mif")};
  ASSERT_TRUE(RunBatch(rows, {}, host));
  EXPECT_EQ(rows[0].Mark, TBatchMark::Failed);
  EXPECT_EQ(rows[0].Reason, "SHPファイルがありません: " + dir / "none.shp");
  EXPECT_EQ(rows[1].Mark, TBatchMark::Converted);
  EXPECT_EQ(rows[1].Reason, "");
}

}  // namespace
}  // namespace plexor
