#include <QAction>
#include <filesystem>

#include "app/GuiFixtures.h"
#include "engine/CoordSys.h"

namespace plexor::test {
namespace {

using Message = FakePlatformServices::Message;

TEST_F(MainWindowTest, AddReplaceDoubleClickRemoveAndClear) {
  const std::string a = MakeShapefile(dir, "a");
  const std::string b = MakeShapefile(dir, "b");
  AddRow(3, a, dir / "a.mif");
  AddRow(3, a, dir / "a.mif");
  ASSERT_EQ(RowCount(), 2);
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(Cell(row, 0), "3");
    EXPECT_EQ(Cell(row, 1), GetCoordSysDisplayText(3));
    EXPECT_EQ(Cell(row, 2), a);
    EXPECT_EQ(Cell(row, 3), dir / "a.mif");
  }
  EXPECT_TRUE(window->lvwBatch->selectedItems().isEmpty()) << "a new row is not selected";
  EXPECT_FALSE(window->btnReplace->isEnabled());
  EXPECT_EQ(window->edtShpFile->text().toStdString(), a) << "the inputs stay";

  // A target is kept as typed, blanks and all.
  AddRow(22, b, " b.mif ");
  EXPECT_EQ(Cell(2, 3), " b.mif ");

  SelectRow(2);
  EXPECT_TRUE(window->btnReplace->isEnabled());
  EXPECT_TRUE(window->btnRemove->isEnabled());
  SetInputs(0, a, "other.mif");
  QTest::mouseDClick(window->lvwBatch->viewport(), Qt::LeftButton, {},
                     window->lvwBatch->visualItemRect(window->lvwBatch->topLevelItem(2)).center());
  EXPECT_EQ(window->lstCoordSys->currentRow(), 22);
  EXPECT_EQ(window->lstCoordSys->selectedItems().size(), 1);
  EXPECT_EQ(window->edtShpFile->text().toStdString(), b);
  EXPECT_EQ(window->edtMifFile->text().toStdString(), " b.mif ");

  window->edtMifFile->setText("c.mif");
  Click(window->btnReplace);
  EXPECT_EQ(Cell(2, 0), "22");
  EXPECT_EQ(Cell(2, 3), "c.mif");
  EXPECT_EQ(RowCount(), 3);

  SelectRow(0);
  Click(window->btnRemove);
  EXPECT_EQ(RowCount(), 2);
  EXPECT_FALSE(window->btnRemove->isEnabled()) << "no row is selected after removing";
  EXPECT_FALSE(window->btnReplace->isEnabled());
  Click(window->btnRemove);  // disabled now
  EXPECT_EQ(RowCount(), 2);

  Click(window->btnClear);
  EXPECT_EQ(RowCount(), 0);
  EXPECT_TRUE(services.Messages.empty());
}

TEST_F(MainWindowTest, CombineControlsFollowTheRowsColumnsAndCoordinateSystems) {
  const std::string a = MakeShapefile(dir, "a");
  const std::string b = MakeShapefile(dir, "b");
  const std::string lower = MakeShapefile(dir, "lower", {{"name", 'C', 10}, {"LANES", 'N', 4}});
  const std::string wide = MakeShapefile(dir, "wide", {{"NAME", 'C', 40}, {"LANES", 'N', 4}});
  const std::string other = MakeShapefile(dir, "other", {{"NAME", 'C', 10}, {"LANES", 'C', 4}});

  AddRow(3, a, dir / "a.mif");
  EXPECT_FALSE(CombineEnabled()) << "one row alone never combines";
  AddRow(3, b, dir / "b.mif");
  EXPECT_TRUE(CombineEnabled());

  const auto replaceSecond = [&](int index, const std::string& source) {
    SelectRow(1);
    SetInputs(index, source, dir / "x.mif");
    Click(window->btnReplace);
  };
  replaceSecond(22, b);
  EXPECT_FALSE(CombineEnabled()) << "two coordinate systems";
  replaceSecond(3, lower);
  EXPECT_FALSE(CombineEnabled()) << "a column name in other letter case";
  replaceSecond(3, other);
  EXPECT_FALSE(CombineEnabled()) << "a column of another type";
  replaceSecond(3, wide);
  EXPECT_TRUE(CombineEnabled()) << "widths are not compared";

  // The browse button beside the combined name shares the target's dialog and its name.
  services.DialogAnswers = {dir / "all.mif"};
  Click(window->btnCmbBrowse);
  EXPECT_EQ(window->edtConbineFile->text().toStdString(), dir / "all.mif");
  EXPECT_EQ(services.Dialogs.back().Name, "SaveDialog1");
  Click(window->btnMifBrowse);
  EXPECT_EQ(services.Dialogs.back().OfferedFileName, dir / "all.mif");

  window->chkCombine->setChecked(true);
  SelectRow(0);
  Click(window->btnRemove);
  EXPECT_FALSE(CombineEnabled());
  EXPECT_TRUE(window->chkCombine->isChecked()) << "disabling keeps the tick";
  EXPECT_EQ(window->edtConbineFile->text().toStdString(), dir / "all.mif");

  // A table that is missing does not qualify.
  AddRow(3, b, dir / "b.mif");
  EXPECT_TRUE(CombineEnabled());
  std::filesystem::remove(dir / "b.dbf");
  AddRow(3, wide, dir / "w.mif");
  EXPECT_FALSE(CombineEnabled());
}

TEST_F(MainWindowTest, SavedBatchFileOpensToTheSameListWithMarksAndStateRecomputed) {
  const std::string a = MakeShapefile(dir, "a");
  const std::string b = MakeShapefile(dir, "道路");
  AddRow(3, a, dir / "a.mif");
  AddRow(3, b, dir / "道路.mif");
  window->chkCombine->setChecked(true);
  window->edtConbineFile->setText(QString::fromStdString(dir / "all.mif"));
  ClickAndWait(window->btnBatch);
  ASSERT_EQ(Marks(), (std::vector<int>{0, 0}));

  services.DialogAnswers = {dir / "list.txt"};
  window->S1->trigger();
  EXPECT_EQ(services.Dialogs.back().Name, "SaveDialog2");
  EXPECT_EQ(
      ReadFile(dir / "list.txt")
          .rfind("Plexor\r\n200\r\n-1\r\n" + (dir / "all.mif") + "\r\n\"3\"\t\"" + a + "\"\t\"", 0),
      0u);

  Click(window->btnClear);
  window->chkCombine->setChecked(false);
  window->edtConbineFile->clear();
  services.DialogAnswers = {dir / "list.txt"};
  window->O1->trigger();
  EXPECT_EQ(services.Dialogs.back().Name, "OpenDialog2");
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(Cell(0, 2), a);
  EXPECT_EQ(Cell(1, 2), b);
  EXPECT_EQ(Cell(1, 3), dir / "道路.mif");
  EXPECT_EQ(Cell(1, 1), GetCoordSysDisplayText(3));
  EXPECT_EQ(Marks(), (std::vector<int>{-1, -1}));
  EXPECT_TRUE(window->chkCombine->isChecked());
  EXPECT_EQ(window->edtConbineFile->text().toStdString(), dir / "all.mif");
  EXPECT_TRUE(CombineEnabled());
  EXPECT_TRUE(window->lvwBatch->selectedItems().isEmpty());
  EXPECT_TRUE(services.Messages.size() == 1 && services.Errors.empty());  // the run's own box
}

TEST_F(MainWindowTest, SavingRefusesAnEmptyListAndPathsThatCouldNotBeReadBack) {
  window->S1->trigger();
  EXPECT_EQ(services.Messages, (std::vector<Message>{{MessageKind::Warning, kNoBatchListText}}));
  EXPECT_TRUE(services.Dialogs.empty());

  const std::string a = MakeShapefile(dir, "a");
  for (const std::string target : {"a\"b.mif", "a\nb.mif", "a\rb.mif"}) {
    Click(window->btnClear);
    AddRow(1, a, target);
    services.Messages.clear();
    services.DialogAnswers = {dir / "list.txt"};
    window->S1->trigger();
    EXPECT_EQ(services.Messages,
              (std::vector<Message>{{MessageKind::Warning, kUnsavableBatchListText}}));
    EXPECT_TRUE(services.Dialogs.empty()) << "refused before a file is chosen";
    EXPECT_FALSE(std::filesystem::exists(dir / "list.txt"));
  }

  // Cancelling the dialog writes nothing either.
  Click(window->btnClear);
  AddRow(1, a, "a.mif");
  services.DialogAnswers = {std::nullopt};
  window->S1->trigger();
  EXPECT_FALSE(std::filesystem::exists(dir / "list.txt"));
}

// Opens `text` as a batch file into a list that held one row, the box ticked and a name.
class BatchFileOpenTest : public MainWindowTest {
 protected:
  void Open(const std::string& text) {
    Click(window->btnClear);
    AddRow(1, MakeShapefile(dir, "held"), "held.mif");
    window->chkCombine->setChecked(true);
    window->edtConbineFile->setText("before.mif");
    services.Messages.clear();
    services.Errors.clear();
    WriteFile(dir / "list.txt", text);
    services.DialogAnswers = {dir / "list.txt"};
    window->O1->trigger();
  }
};

TEST_F(BatchFileOpenTest, ListsThatAreNoBatchListAreRefusedAndLeaveTheListEmpty) {
  for (const std::string text : {"Plexor\r\n200\r\n0\r\n", "Plexorx\r\n200\r\n0\r\nx\r\n",
                                 "\r\n200\r\n0\r\nx\r\n", "Plexor\r\n201\r\n0\r\nx\r\n"}) {
    Open(text);
    ASSERT_EQ(services.Messages.size(), 1u);
    EXPECT_EQ(services.Messages[0].Kind, MessageKind::Error);
    // The refusal, and below it which line is wrong.
    EXPECT_EQ(services.Messages[0].Text.rfind(std::string(kInvalidBatchListText) + "\n\n", 0), 0u);
    EXPECT_EQ(RowCount(), 0);
    EXPECT_TRUE(window->chkCombine->isChecked());
    EXPECT_EQ(window->edtConbineFile->text(), "before.mif");
  }
}

TEST_F(BatchFileOpenTest, FourLinesGiveAnEmptyListWithTheBoxAndTheName) {
  Open(" PLEXOR \n200\r0\r\nall.mif");
  EXPECT_TRUE(services.Messages.empty());
  EXPECT_EQ(RowCount(), 0);
  EXPECT_FALSE(window->chkCombine->isChecked());
  EXPECT_EQ(window->edtConbineFile->text().toStdString(), dir / "all.mif")
      << "taken from the list's folder";
  EXPECT_FALSE(CombineEnabled());
}

TEST_F(BatchFileOpenTest, AnIndexWithALeadingZeroIsShownAsItsNumberAndSavedAsWritten) {
  Open("Plexor\r\n200\r\nTrue\r\n\r\n\"05\"\t\"/a/b.shp\"\t\"/a/b.mif\"\r\n");
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(Cell(0, 0), "05");
  EXPECT_EQ(Cell(0, 1), GetCoordSysDisplayText(5));
  EXPECT_TRUE(window->chkCombine->isChecked());
  SelectRow(0);
  QTest::mouseDClick(window->lvwBatch->viewport(), Qt::LeftButton, {},
                     window->lvwBatch->visualItemRect(window->lvwBatch->topLevelItem(0)).center());
  EXPECT_EQ(window->lstCoordSys->currentRow(), 5);

  services.DialogAnswers = {dir / "again.txt"};
  window->S1->trigger();
  EXPECT_EQ(ReadFile(dir / "again.txt"),
            "Plexor\r\n200\r\n-1\r\n\r\n\"05\"\t\"/a/b.shp\"\t\"/a/b.mif\"\r\n");
}

TEST_F(BatchFileOpenTest, BadLinesStopTheLoadingInTheErrorBoxKeepingTheRowsBefore) {
  const std::string good = "\"3\"\t\"/a/b.shp\"\t\"/a/b.mif\"\r\n";
  Open("Plexor\r\n200\r\n0\r\nn.mif\r\n" + good + "\"x\"\t\"/c.shp\"\t\"/c.mif\"\r\n" + good);
  EXPECT_EQ(services.Errors, std::vector<std::string>{"6 行目: 'x' は整数ではありません"});
  EXPECT_GE(RowCount(), 1);
  EXPECT_EQ(Cell(0, 2), "/a/b.shp");
  EXPECT_FALSE(window->chkCombine->isChecked()) << "line 3 was applied before the bad row";
  EXPECT_EQ(window->edtConbineFile->text().toStdString(), dir / "n.mif");

  Open("Plexor\r\n200\r\n0\r\nn.mif\r\n" + good + "\"41\"\t\"/c.shp\"\t\"/c.mif\"\r\n");
  EXPECT_EQ(services.Errors,
            std::vector<std::string>{"6 行目: リストのインデックスが範囲を超えています (41)"});

  Open("Plexor\r\n200\r\nmaybe\r\nn.mif\r\n" + good);
  EXPECT_EQ(services.Errors,
            std::vector<std::string>{"3 行目: 'maybe' は正しい論理型ではありません"});
  EXPECT_EQ(RowCount(), 0);
  EXPECT_EQ(window->edtConbineFile->text(), "before.mif") << "line 4 is not applied";
  EXPECT_TRUE(window->chkCombine->isChecked());
  EXPECT_FALSE(CombineEnabled());
}

TEST_F(BatchFileOpenTest, AFileThatCannotBeOpenedIsReportedWithItsPathAndTheListStaysEmpty) {
  Open("unused");
  std::filesystem::remove(dir / "list.txt");
  AddRow(1, dir / "held.shp", "held.mif");
  AddRow(1, dir / "held.shp", "held2.mif");
  ASSERT_TRUE(CombineEnabled());
  services.DialogAnswers = {dir / "list.txt"};
  window->O1->trigger();
  ASSERT_EQ(services.Errors.size(), 1u);
  EXPECT_NE(services.Errors[0].find(dir / "list.txt"), std::string::npos);
  EXPECT_EQ(RowCount(), 0);
  EXPECT_FALSE(CombineEnabled());

  // A cancelled dialog changes nothing at all.
  AddRow(1, dir / "held.shp", "held.mif");
  services.DialogAnswers = {std::nullopt};
  window->O1->trigger();
  EXPECT_EQ(RowCount(), 1);
}

// --- The batch run ---------------------------------------------------------------------------

TEST_F(MainWindowTest, BatchRunMarksEachRowAndCombinesTheConvertedOnes) {
  const std::string a = MakeShapefile(dir, "a");
  const std::string bad = MakeShapefile(dir, "bad");
  ShpBuilder().FileCode(1234).HeaderShapeType(1).Point(1, 2).Write(bad);  // header refused
  const std::string c = MakeShapefile(dir, "c", kRoadFields, 3);
  AddRow(3, a, dir / "a.mif");
  AddRow(3, bad, dir / "bad.mif");
  AddRow(3, c, dir / "c.mif");
  ASSERT_TRUE(CombineEnabled());
  window->chkCombine->setChecked(true);
  window->edtConbineFile->setText(QString::fromStdString(dir / "all.MIF"));

  ClickAndWait(window->btnBatch);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 1, 0}));
  EXPECT_FALSE(window->lvwBatch->topLevelItem(0)->icon(0).isNull());
  EXPECT_FALSE(window->lvwBatch->topLevelItem(1)->icon(0).isNull());
  EXPECT_EQ(window->lvwBatch->topLevelItem(0)->icon(0).cacheKey(),
            window->ImageList1[0].cacheKey());
  EXPECT_EQ(window->lvwBatch->topLevelItem(1)->icon(0).cacheKey(),
            window->ImageList1[1].cacheKey());
  ASSERT_FALSE(services.Messages.empty());
  EXPECT_EQ(services.Messages.back(), (Message{MessageKind::Information, "変換が終了しました。"}));
  EXPECT_TRUE(services.Errors.empty());
  EXPECT_TRUE(window->StatusBar1->currentMessage().isEmpty());
  // The failed row says why wherever the pointer rests on it; every cell shows its full text.
  const QTreeWidgetItem* failed = window->lvwBatch->topLevelItem(1);
  const std::string reason = window->BatchRows()[1].Reason;
  ASSERT_FALSE(reason.empty());
  EXPECT_EQ(failed->toolTip(2).toStdString(), bad + "\n" + reason);
  EXPECT_EQ(failed->toolTip(1).toStdString(), GetCoordSysDisplayText(3) + "\n" + reason);
  EXPECT_EQ(window->lvwBatch->topLevelItem(2)->toolTip(3).toStdString(), dir / "c.mif");

  EXPECT_EQ(ReadFile(dir / "all.mid"), ReadFile(dir / "a.mid") + ReadFile(dir / "c.mid"));
  const std::string all = ReadFile(dir / "all.MIF");
  EXPECT_EQ(all.rfind(ReadFile(dir / "a.mif"), 0), 0u) << "the first converted file whole";
  EXPECT_EQ(all.find("Version"), all.rfind("Version")) << "one header";

  // Unticked: the rows are converted again, the combined files are left alone.
  std::filesystem::remove(dir / "all.mid");
  window->chkCombine->setChecked(false);
  services.Messages.clear();
  ClickAndWait(window->btnBatch);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 1, 0}));
  EXPECT_FALSE(std::filesystem::exists(dir / "all.mid"));

  // A later change to a row clears its mark.
  SelectRow(0);
  Click(window->btnReplace);
  EXPECT_EQ(Marks(), (std::vector<int>{-1, 1, 0}));
}

TEST_F(MainWindowTest, BatchRunChecksTheListAndTheCombinedName) {
  Click(window->btnBatch);
  EXPECT_EQ(services.Messages, (std::vector<Message>{{MessageKind::Warning, kNoBatchListText}}));

  AddRow(3, MakeShapefile(dir, "a"), dir / "a.mif");
  AddRow(3, MakeShapefile(dir, "b"), dir / "b.mif");
  window->chkCombine->setChecked(true);
  window->edtConbineFile->setText(" \t ");
  services.Messages.clear();
  ClickAndWait(window->btnBatch);
  EXPECT_EQ(services.Messages,
            (std::vector<Message>{{MessageKind::Warning, kInvalidCombineNameText}}));
  EXPECT_FALSE(std::filesystem::exists(dir / "a.mif")) << "nothing is converted";
  EXPECT_EQ(services.WaitCursorOnCount, 0);
}

TEST_F(MainWindowTest, AnErrorInTheRunEndsItLeavingTheLaterRowsUnmarked) {
  AddRow(3, MakeShapefile(dir, "a"), dir / "a.mif");
  AddRow(3, MakeShapefile(dir, "b"), dir / "missing/b.mif");
  AddRow(3, MakeShapefile(dir, "c"), dir / "c.mif");
  ClickAndWait(window->btnBatch);
  EXPECT_EQ(Marks(), (std::vector<int>{0, -1, -1}));
  EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{"変換が終了しました。"});
  ASSERT_EQ(services.Errors.size(), 1u);
  EXPECT_NE(services.Errors[0].find(dir / "missing/b.mif"), std::string::npos);
  EXPECT_FALSE(window->IsBusy());
  EXPECT_TRUE(window->btnBatch->isEnabled());
}

TEST_F(MainWindowTest, DuringARunTheListCanBeReadButNotChanged) {
  AddRow(3, MakeShapefile(dir, "a"), dir / "a.mif");
  AddRow(3, MakeShapefile(dir, "b"), dir / "b.mif");
  Click(window->btnBatch);
  ASSERT_TRUE(window->IsBusy());
  for (QWidget* w : std::initializer_list<QWidget*>{window->btnClear, window->btnBatch,
                                                    window->btnAdd, window->edtShpFile}) {
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  }
  EXPECT_TRUE(window->lvwBatch->isEnabled()) << "rows and their tips stay readable";
  Click(window->btnClear);
  SelectRow(0);
  EXPECT_FALSE(window->btnRemove->isEnabled());
  QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
  WaitForRun();
  EXPECT_EQ(RowCount(), 2);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0}));
  EXPECT_TRUE(services.Dialogs.empty());
  EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{"変換が終了しました。"});
  EXPECT_TRUE(window->btnClear->isEnabled());
}

TEST_F(MainWindowTest, RowsKeepTheirHeightWhenMarksAppear) {
  AddRow(3, MakeShapefile(dir, "a"), dir / "a.mif");
  AddRow(3, dir / "a.shp", dir / "no/such/a.mif");
  const int before = window->lvwBatch->visualItemRect(window->lvwBatch->topLevelItem(1)).height();
  ClickAndWait(window->btnBatch);
  ASSERT_EQ(Marks(), (std::vector<int>{0, -1}));
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(window->lvwBatch->visualItemRect(window->lvwBatch->topLevelItem(row)).height(),
              before);
  }
  EXPECT_GE(before, 16) << "room for the 16-pixel marks from the start";
}

}  // namespace
}  // namespace plexor::test
