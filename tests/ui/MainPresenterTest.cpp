#include <gtest/gtest.h>

#include <filesystem>

#include "support/Exceptions.h"
#include "support/QvSysUtils.h"
#include "ui/FakeMainView.h"
#include "ui/FakePlatformServices.h"
#include "ui/MainPresenter.h"
#include "ui/Shapefiles.h"
#include "ui/UiQueue.h"

namespace plexor::test {
namespace {

using Message = FakePlatformServices::Message;

constexpr const char* kJgd2011Zone9Prj =
    R"wkt(PROJCS["JGD_2011_Japan_Zone_9",GEOGCS["GCS_JGD_2011",DATUM["D_JGD_2011",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",139.833333333333],PARAMETER["Scale_Factor",0.9999],PARAMETER["Latitude_Of_Origin",36.0],UNIT["Meter",1.0]])wkt";
constexpr const char* kWebMercatorPrj =
    R"wkt(PROJCS["WGS_1984_Web_Mercator_Auxiliary_Sphere",GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Mercator_Auxiliary_Sphere"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",0.0],PARAMETER["Standard_Parallel_1",0.0],PARAMETER["Auxiliary_Sphere_Type",0.0],UNIT["Meter",1.0]])wkt";

class PresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services.Exe = dir / "plexor-converter";
    // The placement file beside the program, so that no test writes into the user's.
    WriteFile(dir / "plexor-converter.INI", "");
    presenter.FormCreate();
  }
  // A run left going must not wait for this thread while the presenter waits for it.
  void TearDown() override { queue.Release(); }

  void SetInputs(int index, const std::string& source, const std::string& target) {
    view.CoordSys = index;
    view.Shp = source;
    view.Mif = target;
  }
  void AddRow(int index, const std::string& source, const std::string& target) {
    SetInputs(index, source, target);
    presenter.btnAddClick();
  }
  void RunToEnd() {
    queue.RunUntil([&] { return !presenter.Running(); });
    queue.Settle();
  }
  void RunUntilStatus(const std::string& part) {
    queue.RunUntil([&] { return view.Status.find(part) != std::string::npos; });
  }
  bool Usable(TControl control) { return view.Enabled.at(control); }

  TempDir dir;
  FakePlatformServices services;
  FakeMainView view;
  UiQueue queue;
  TMainPresenter presenter{view, services, queue.Post()};
};

TEST_F(PresenterTest, InputChecksShowOnlyTheFirstFailureInTheirOrder) {
  presenter.btnConvertClick();
  EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{kNoCoordSysText});

  const std::string shp = MakeShapefile(dir, "roads");
  std::filesystem::create_directory(dir / "folder.shp");
  for (const std::string& source : {dir / "missing.shp", dir / "folder.shp", " " + shp}) {
    services.Messages.clear();
    SetInputs(2, source, "out.mif");
    presenter.btnAddClick();
    EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{kBadSourceText}) << source;
  }
  services.Messages.clear();
  SetInputs(2, shp, " \t\r\n");
  presenter.btnConvertClick();
  EXPECT_EQ(services.Messages, (std::vector<Message>{{MessageKind::Warning, kBadTargetText}}));
  EXPECT_FALSE(presenter.Running());
  EXPECT_TRUE(view.Rows.empty());
}

TEST_F(PresenterTest, AConversionRunsOnItsOwnThreadWhileTheControlsAreDisabled) {
  SetInputs(3, MakeShapefile(dir, "roads"), dir / "roads.mif");
  presenter.btnConvertClick();
  ASSERT_TRUE(presenter.Running());
  EXPECT_TRUE(view.Progress.Running);
  for (const TControl c :
       {TControl::btnConvert, TControl::btnBatch, TControl::btnAdd, TControl::lstCoordSys,
        TControl::edtShpFile, TControl::O1, TControl::S1, TControl::D3}) {
    EXPECT_FALSE(Usable(c)) << static_cast<int>(c);
  }
  EXPECT_TRUE(Usable(TControl::C1));
  // Commands that would change what the run reads are refused.
  presenter.btnConvertClick();
  presenter.btnAddClick();
  EXPECT_TRUE(view.Rows.empty());

  RunToEnd();
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Kind, MessageKind::Information);
  EXPECT_EQ(services.Messages[0].Text.rfind(kConvertedText, 0), 0u);
  EXPECT_TRUE(std::filesystem::exists(dir / "roads.mid"));
  EXPECT_EQ(view.Progresses.end()[-2].Permille, 1000) << "the bar reached its end";
  EXPECT_FALSE(view.Progress.Running);
  EXPECT_TRUE(view.Status.empty());
  EXPECT_TRUE(Usable(TControl::btnConvert));
  EXPECT_FALSE(Usable(TControl::C1));
}

TEST_F(PresenterTest, AFailureSaysWhyAndASuccessListsWhatTheUserShouldKnow) {
  const std::string shp = MakeShapefile(dir, "roads");
  std::filesystem::remove(dir / "roads.dbf");
  SetInputs(3, shp, dir / "roads.mif");
  presenter.btnConvertClick();
  RunToEnd();
  EXPECT_EQ(services.Messages,
            (std::vector<Message>{{MessageKind::Warning,
                                   std::string(kConvertFailedText) +
                                       "\n\nDBFファイルがありません: " + (dir / "roads.dbf")}}));

  // Three records for two shapes: the last record has nothing to go with.
  DbfBuilder dbf;
  dbf.Field("NAME", 'C', 10).Record({"a"}).Record({"b"}).Record({"c"}).Write(dir / "roads.dbf");
  services.Messages.clear();
  presenter.btnConvertClick();
  RunToEnd();
  ASSERT_EQ(services.Messages.size(), 1u);
  const std::string& text = services.Messages[0].Text;
  EXPECT_EQ(text.rfind(std::string(kConvertedText) + "\n\n", 0), 0u) << text;
  EXPECT_NE(text.find("図形のない属性レコードが 1 件"), std::string::npos) << text;
}

TEST_F(PresenterTest, AnErrorThatEndsTheRunGoesToTheApplicationsBox) {
  SetInputs(0, MakeShapefile(dir, "roads"), dir / "no/such/roads.mif");
  presenter.btnConvertClick();
  RunToEnd();
  ASSERT_EQ(services.Errors.size(), 1u);
  EXPECT_NE(services.Errors[0].find(dir / "no/such/roads.mif"), std::string::npos);
  EXPECT_TRUE(services.Messages.empty()) << "neither success nor failure is shown";
  EXPECT_TRUE(Usable(TControl::btnConvert));
}

TEST_F(PresenterTest, CancellingStopsAtARecordAndLeavesNothingOnDisk) {
  SetInputs(3, MakeShapefile(dir, "roads"), dir / "roads.mif");
  presenter.btnConvertClick();
  RunUntilStatus("を変換しています。");
  presenter.btnCancelClick();
  EXPECT_EQ(view.Status, kStoppingText);
  EXPECT_FALSE(Usable(TControl::C1)) << "asked once is enough";
  RunToEnd();
  EXPECT_EQ(services.Messages, (std::vector<Message>{{MessageKind::Information, kCancelledText}}));
  EXPECT_EQ(dir.Entries(),
            (std::vector<std::string>{"plexor-converter.INI", "roads.dbf", "roads.shp"}));
}

TEST_F(PresenterTest, ABadCombinedNameIsSaidBeforeARunStarts) {
  AddRow(3, MakeShapefile(dir, "a"), dir / "a.mif");
  AddRow(3, MakeShapefile(dir, "b"), dir / "b.mif");
  ASSERT_TRUE(Usable(TControl::chkCombine));
  view.Combine = true;
  view.CombineFile = dir / "a.mif";  // a row's own output
  presenter.btnBatchClick();
  EXPECT_FALSE(presenter.Running());
  EXPECT_TRUE(view.Progresses.empty()) << "no run was shown";
  EXPECT_EQ(services.Messages.back(), (Message{MessageKind::Warning, kInvalidCombineNameText}));
  EXPECT_FALSE(std::filesystem::exists(dir / "b.mif"));
}

TEST_F(PresenterTest, ABatchRunMarksRowsCountsThemAndKeepsWhyARowFailed) {
  const std::string bad = MakeShapefile(dir, "bad");
  ShpBuilder().FileCode(1234).HeaderShapeType(1).Point(1, 2).Write(bad);  // header refused
  AddRow(3, MakeShapefile(dir, "a"), dir / "a.mif");
  AddRow(3, bad, dir / "bad.mif");
  AddRow(3, MakeShapefile(dir, "c"), dir / "c.mif");
  presenter.btnBatchClick();
  EXPECT_FALSE(Usable(TControl::btnClear));
  // Why a row failed shows as soon as it is marked, while the run goes on.
  queue.RunUntil([&] { return view.Marks()[1] == 1; });
  EXPECT_TRUE(presenter.Running());
  EXPECT_NE(view.Rows[1].Tips[2].find("SHPファイルのヘッダーが不正です。"), std::string::npos);
  RunToEnd();

  EXPECT_EQ(view.Marks(), (std::vector<int>{0, 1, 0}));
  std::vector<std::string> counts;
  for (const TRunProgress& p : view.Progresses) {
    if (counts.empty() || counts.back() != p.Rows) counts.push_back(p.Rows);
  }
  EXPECT_EQ(counts, (std::vector<std::string>{"", "1/3", "2/3", "3/3", ""}));
  const std::string reason = presenter.BatchRows()[1].Reason;
  EXPECT_EQ(reason.rfind("SHPファイルのヘッダーが不正です。", 0), 0u) << reason;
  EXPECT_EQ(view.Rows[1].Tips[2], bad + "\n" + reason);
  EXPECT_EQ(view.Rows[1].Tips[0], "3\n" + reason);
  EXPECT_EQ(view.Rows[0].Tips[2], view.Rows[0].Cells[2]) << "a converted row has no reason";
  EXPECT_EQ(presenter.BatchRows()[1].Mark, TBatchMark::Failed);
  EXPECT_EQ(services.Messages.back(), (Message{MessageKind::Information, kBatchFinishedText}));

  // A row changed afterwards forgets its mark and its reason.
  view.Selected = 1;
  SetInputs(3, dir / "a.shp", dir / "bad.mif");
  presenter.btnReplaceClick();
  EXPECT_EQ(view.Marks(), (std::vector<int>{0, -1, 0}));
  EXPECT_EQ(view.Rows[1].Tips[2], dir / "a.shp");
}

TEST_F(PresenterTest, CancellingABatchStopsBetweenRowsAndCombinesNothing) {
  for (const char* name : {"a", "b", "c"}) {
    AddRow(3, MakeShapefile(dir, name), dir / (std::string(name) + ".mif"));
  }
  ASSERT_TRUE(Usable(TControl::chkCombine));
  view.Combine = true;
  view.CombineFile = dir / "all.mif";
  presenter.btnBatchClick();
  queue.RunUntil([&] { return view.Progress.Rows == "2/3"; });
  presenter.btnCancelClick();
  RunToEnd();
  EXPECT_EQ(view.Marks(), (std::vector<int>{0, -1, -1}));
  EXPECT_TRUE(std::filesystem::exists(dir / "a.mif"));
  EXPECT_FALSE(std::filesystem::exists(dir / "b.mif"));
  EXPECT_FALSE(std::filesystem::exists(dir / "all.mif"));
  EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{kBatchFinishedText});
}

TEST_F(PresenterTest, ClosingDuringARunAsksAndStopsTheRunOnlyWhenTold) {
  EXPECT_TRUE(presenter.FormCloseQuery());
  EXPECT_TRUE(services.Questions.empty()) << "nothing to ask without a run";

  // Long enough that the run cannot end between its release and the stop.
  SetInputs(3, MakeShapefile(dir, "roads", kRoadFields, 20000), dir / "roads.mif");
  presenter.btnConvertClick();
  RunUntilStatus("を変換しています。");
  services.Answers = {false};
  EXPECT_FALSE(presenter.FormCloseQuery());
  EXPECT_EQ(services.Questions, std::vector<std::string>{kStopRunQuestion});
  EXPECT_TRUE(presenter.Running());

  services.Answers = {true};
  queue.Release();  // this thread now waits for the run's
  EXPECT_TRUE(presenter.FormCloseQuery());
  EXPECT_FALSE(presenter.Running());
  EXPECT_FALSE(std::filesystem::exists(dir / "roads.mif"));
  EXPECT_TRUE(services.Messages.empty()) << "the stopped run says nothing afterwards";
}

TEST_F(PresenterTest, ABoxThatArrivesWhileAnotherIsOpenWaitsForIt) {
  // The run's "finished" box reaches the window while the failure box is still open.
  services.OnMessage = [&] { presenter.btnBatchClick(); };
  presenter.btnConvertClick();
  EXPECT_EQ(services.MessageTexts(), (std::vector<std::string>{kNoCoordSysText, kNoBatchListText}));
  EXPECT_EQ(services.MaxBoxDepth, 1);
}

TEST_F(PresenterTest, TheMenusDateFormatGoesIntoTheMidRowsAndThePlacementFile) {
  EXPECT_TRUE(view.Checked.at(TControl::D2));
  EXPECT_FALSE(view.Checked.at(TControl::D3));
  EXPECT_EQ(presenter.Regional().ShortDateFormat, "yyyy/mm/dd");

  SetInputs(3, MakeShapefile(dir, "dated", {{"DAY", 'D', 8}}, 1), dir / "dated.mif");
  presenter.D3Click();
  EXPECT_TRUE(view.Checked.at(TControl::D3));
  EXPECT_FALSE(view.Checked.at(TControl::D2));
  presenter.btnConvertClick();
  RunToEnd();
  EXPECT_EQ(ReadFile(dir / "dated.mid"), "20240305\r\n");
  presenter.D2Click();
  presenter.btnConvertClick();
  RunToEnd();
  EXPECT_EQ(ReadFile(dir / "dated.mid"), "2024/03/05\r\n");

  presenter.D3Click();
  presenter.FormClose();
  FakeMainView next;
  TMainPresenter again(next, services, queue.Post());
  again.FormShow();
  EXPECT_TRUE(next.Checked.at(TControl::D3));
  EXPECT_EQ(again.DateFormat(), "yyyymmdd");
  WriteFile(dir / "plexor-converter.INI", "[Window]\nDateFormat=dd.mm.yy\n");
  again.FormShow();
  EXPECT_EQ(again.DateFormat(), "yyyy/mm/dd") << "only the menu's formats are taken";
}

TEST_F(PresenterTest, ChoosingASourceWithAPrjSelectsTheCoordinateSystemItNames) {
  const std::string shp = MakeShapefile(dir, "roads");
  view.CoordSys = 4;
  services.DialogAnswers = {shp};
  presenter.btnShpBrowseClick();
  EXPECT_EQ(view.CoordSys, 4) << "no .prj, no change";
  EXPECT_EQ(view.Mif, dir / "roads.mif");

  WriteFile(dir / "roads.prj", kJgd2011Zone9Prj);
  services.DialogAnswers = {shp};
  presenter.btnShpBrowseClick();
  EXPECT_EQ(view.CoordSys, 30);
  EXPECT_NE(view.Status.find("第9系"), std::string::npos) << view.Status;

  WriteFile(dir / "roads.prj", kWebMercatorPrj);
  services.DialogAnswers = {shp};
  presenter.btnShpBrowseClick();
  EXPECT_EQ(view.CoordSys, 30) << "a system outside the list leaves the choice";
  EXPECT_NE(view.Status.find(".prj"), std::string::npos);
}

TEST_F(PresenterTest, TheFrameComesBackWhereItStoodStartAfterStart) {
  view.Frame = {300, 40, 801, 466};
  presenter.FormClose();
  const std::string saved = ReadFile(dir / "plexor-converter.INI");
  for (int start = 0; start < 10; ++start) {
    FakeMainView next;
    TMainPresenter again(next, services, queue.Post());
    again.FormShow();
    EXPECT_EQ(next.Frame, (TWindowBounds{300, 40, 801, 466}));
    again.FormClose();
  }
  EXPECT_EQ(ReadFile(dir / "plexor-converter.INI"), saved);

  // Closed maximized: the state alone is written, the bounds of the normal close stay.
  view.State = TWindowState::Maximized;
  view.Frame = {0, 0, 1920, 1080};
  presenter.FormClose();
  const TWindowPlacement p = ReadWindowPlacement(dir / "plexor-converter.INI");
  EXPECT_EQ(p.State, 1);
  EXPECT_EQ(p.Left, 300);
  EXPECT_EQ(p.Width, 801);
}

TEST_F(PresenterTest, TheSelectionAndTheRunDecideWhatTheListTakes) {
  const std::string a = MakeShapefile(dir, "a");
  AddRow(3, a, dir / "a.mif");
  EXPECT_FALSE(Usable(TControl::chkCombine));
  EXPECT_FALSE(view.Tips.at(TControl::chkCombine).empty()) << "says why it cannot combine";
  AddRow(3, a, dir / "a2.mif");
  EXPECT_TRUE(Usable(TControl::chkCombine));
  EXPECT_TRUE(view.Tips.at(TControl::chkCombine).empty());
  EXPECT_FALSE(Usable(TControl::btnRemove));

  view.Selected = 0;
  presenter.lvwBatchChange();
  EXPECT_TRUE(Usable(TControl::btnReplace));
  EXPECT_TRUE(Usable(TControl::btnRemove));
  presenter.btnRemoveClick();
  EXPECT_EQ(view.Rows.size(), 1u);
  EXPECT_EQ(view.Rows[0].Cells[3], dir / "a2.mif");
  EXPECT_EQ(view.Selected, -1) << "a second press takes no second row";
  EXPECT_FALSE(Usable(TControl::btnRemove));
  EXPECT_FALSE(Usable(TControl::chkCombine));

  // While a run goes, a selection enables nothing and the list keeps its rows.
  presenter.btnBatchClick();
  view.Selected = 0;
  presenter.lvwBatchChange();
  EXPECT_FALSE(Usable(TControl::btnRemove));
  presenter.btnRemoveClick();
  presenter.btnClearClick();
  EXPECT_EQ(view.Rows.size(), 1u);
  RunToEnd();
  EXPECT_TRUE(Usable(TControl::btnRemove)) << "the selection counts again after the run";
}

}  // namespace
}  // namespace plexor::test
