#include <QAction>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <filesystem>

#include "app/GuiFixtures.h"
#include "engine/CoordSys.h"
#include "support/Exceptions.h"

namespace plexor::test {
namespace {

constexpr const char* kNoCoordSys = "MIFに記述する投影法を選択してください。";
constexpr const char* kBadSource = "変換元SHPのファイル名が不正です。";
constexpr const char* kBadTarget = "変換後MIFのファイル名が不正です。";

using Message = FakePlatformServices::Message;

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThemWithTheirCaptions) {
  struct Expected {
    const char* Name;
    QRect Bounds;
    const char* Caption;
  };
  const Expected controls[] = {
      {"lstCoordSys", {8, 24, 305, 257}, nullptr},
      {"edtShpFile", {8, 304, 249, 20}, ""},
      {"btnShpBrowse", {264, 304, 49, 21}, "参照"},
      {"edtMifFile", {8, 344, 249, 20}, ""},
      {"btnMifBrowse", {264, 344, 49, 21}, "参照"},
      {"btnAdd", {80, 368, 75, 21}, "追加"},
      {"btnReplace", {160, 368, 75, 21}, "置換"},
      {"btnConvert", {240, 368, 75, 21}, "すぐに変換"},
      {"lvwBatch", {328, 24, 457, 273}, nullptr},
      {"chkCombine",
       {328, 304, 457, 17},
       "ファイルを統合する（同一の属性定義、投影法での変換時のみ使用可能）"},
      {"edtConbineFile", {328, 344, 401, 20}, ""},
      {"btnCmbBrowse", {736, 344, 49, 21}, "参照"},
      {"btnClear", {552, 368, 75, 21}, "クリア"},
      {"btnRemove", {632, 368, 75, 21}, "削除"},
      {"btnBatch", {712, 368, 75, 21}, "変換開始"},
      {"StatusBar1", {0, 396, 793, 19}, nullptr},
  };
  for (const Expected& e : controls) {
    auto* w = window->findChild<QWidget*>(QString::fromLatin1(e.Name));
    ASSERT_NE(w, nullptr) << e.Name;
    EXPECT_EQ(w->geometry(), e.Bounds) << e.Name;
    if (e.Caption == nullptr) continue;
    QString caption;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) caption = edit->text();
    EXPECT_EQ(caption.toStdString(), e.Caption) << e.Name;
  }
  const std::pair<const char*, const char*> labels[] = {{"Label3", "MIFに記述する投影法"},
                                                        {"Label5", "変換元SHPのファイル名"},
                                                        {"Label4", "変換後MIFのファイル名"},
                                                        {"Label2", "バッチリスト"},
                                                        {"Label1", "統合後のファイル名"}};
  for (const auto& [name, text] : labels) {
    auto* label = window->findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text().toStdString(), text);
    EXPECT_EQ(label->height(), 12);
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << name;
  }

  EXPECT_EQ(window->windowTitle().toStdString(), "Plexor Converter");
  EXPECT_EQ(window->centralWidget()->size(), QSize(793, 415));
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window is not resizable";

  ASSERT_EQ(window->lstCoordSys->count(), 41);
  for (int i = 0; i < 41; ++i) {
    EXPECT_EQ(window->lstCoordSys->item(i)->text().toStdString(), GetCoordSysDisplayText(i));
  }
  EXPECT_TRUE(window->lstCoordSys->selectedItems().isEmpty());

  const QTreeWidgetItem* header = window->lvwBatch->headerItem();
  EXPECT_EQ(header->text(1).toStdString(), "投影法");
  EXPECT_EQ(header->text(2).toStdString(), "元ファイル");
  EXPECT_EQ(header->text(3).toStdString(), "先ファイル");
  EXPECT_EQ(window->lvwBatch->columnWidth(0), 18);
  EXPECT_EQ(window->lvwBatch->columnWidth(1), 110);
  EXPECT_FALSE(window->lvwBatch->header()->sectionsClickable());

  EXPECT_FALSE(window->btnReplace->isEnabled());
  EXPECT_FALSE(window->btnRemove->isEnabled());
  EXPECT_FALSE(window->chkCombine->isChecked());
  EXPECT_FALSE(CombineEnabled());
}

TEST_F(MainWindowTest, FontIsTwelvePixelJapaneseGothic) {
  const QFontInfo info(window->btnConvert->font());
  EXPECT_EQ(info.pixelSize(), 12);
  // "ＭＳ Ｐゴシック" is not on a Linux desktop; its stand-in must still write Japanese.
  EXPECT_TRUE(info.family() == QStringLiteral("ＭＳ Ｐゴシック") ||
              info.family().startsWith("IPA") ||
              QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::Japanese))
      << info.family().toStdString();
  EXPECT_TRUE(QFontMetrics(window->font()).inFont(QChar(0x5909)));  // 変
}

TEST_F(MainWindowTest, TabOrderStartsAtTheTargetAndEndsAtTheList) {
  const QStringList expected = {"edtMifFile",     "btnMifBrowse", "edtShpFile", "btnShpBrowse",
                                "lvwBatch",       "chkCombine",   "btnAdd",     "btnReplace",
                                "btnConvert",     "btnClear",     "btnRemove",  "btnBatch",
                                "edtConbineFile", "btnCmbBrowse", "lstCoordSys"};
  QStringList chain;
  QWidget* w = window->edtMifFile;
  do {
    if (expected.contains(w->objectName()) && !chain.contains(w->objectName())) {
      chain << w->objectName();
    }
    w = w->nextInFocusChain();
  } while (w != window->edtMifFile);
  EXPECT_EQ(chain, expected);
  EXPECT_EQ(window->focusWidget(), window->edtMifFile);
}

TEST_F(MainWindowTest, MenuItemsCarryTheirCaptionsAndShortcuts) {
  const std::tuple<const char*, const char*, QKeySequence> items[] = {
      {"O1", "開く(&O)...", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {"S1", "保存(&S)...", QKeySequence(Qt::CTRL | Qt::Key_S)},
      {"X1", "終了(&X)", QKeySequence()},
      {"H2", "トピックの検索(&H)", QKeySequence(Qt::Key_F1)},
      {"A1", "バージョン情報(&A)...", QKeySequence()}};
  for (const auto& [name, caption, key] : items) {
    auto* action = window->findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    EXPECT_EQ(action->text().toStdString(), caption);
    EXPECT_EQ(action->shortcut(), key) << name;
  }
  EXPECT_EQ(window->F1->title().toStdString(), "ファイル(&F)");
  EXPECT_EQ(window->H1->title().toStdString(), "ヘルプ(&H)");
  const QList<QAction*> file = window->F1->actions();
  ASSERT_EQ(file.size(), 6);
  EXPECT_TRUE(file[2]->isSeparator());
  EXPECT_EQ(file[2]->objectName(), "N1");
  EXPECT_EQ(file[3], window->C1);
  EXPECT_EQ(window->C1->shortcut(), QKeySequence(Qt::Key_Escape));
  EXPECT_FALSE(window->C1->isEnabled()) << "nothing to stop";
  EXPECT_TRUE(window->H1->actions()[1]->isSeparator());
  EXPECT_EQ(window->D1->actions(), (QList<QAction*>{window->D2, window->D3}));
  EXPECT_TRUE(window->D2->isChecked());

  // Ctrl+S reaches the save command: with no rows it says so.
  QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{kNoBatchListText});
}

TEST_F(MainWindowTest, CheckInputsShowsOnlyTheFirstFailureInItsOrder) {
  Click(window->btnConvert);
  EXPECT_EQ(services.Messages, (std::vector<Message>{{MessageKind::Warning, kNoCoordSys}}));

  const std::string shp = MakeShapefile(dir, "roads");
  std::filesystem::create_directory(dir / "folder.shp");
  const std::pair<std::string, std::string> bad[] = {
      {dir / "missing.shp", "out.mif"},  // no such file
      {dir / "folder.shp", "out.mif"},   // a folder is no file
      {"", "out.mif"},
      {" " + shp, "out.mif"},  // taken as typed: the blank makes another name
  };
  for (const auto& [source, target] : bad) {
    services.Messages.clear();
    SetInputs(2, source, target);
    Click(window->btnConvert);
    EXPECT_EQ(services.Messages, (std::vector<Message>{{MessageKind::Warning, kBadSource}}))
        << source;
  }
  for (const char* target : {"", "   ", "\t \r\n"}) {
    services.Messages.clear();
    SetInputs(2, shp, target);
    Click(window->btnConvert);
    EXPECT_EQ(services.Messages, (std::vector<Message>{{MessageKind::Warning, kBadTarget}}));
  }
  // Add and replace are guarded by the same check, and leave the list alone.
  services.Messages.clear();
  Click(window->btnAdd);
  EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{kBadTarget});
  EXPECT_EQ(RowCount(), 0);
  EXPECT_EQ(services.WaitCursorOnCount, 0);
}

TEST_F(MainWindowTest, ConvertAtOnceRunsBesideTheWindowWithItsProgressAndSaysWhy) {
  const std::string shp = MakeShapefile(dir, "roads");
  SetInputs(3, shp, dir / "roads.mif");
  Click(window->btnConvert);
  ASSERT_TRUE(window->IsBusy());
  EXPECT_TRUE(window->prgConvert->isVisible());
  EXPECT_TRUE(window->btnCancel->isVisible());
  EXPECT_TRUE(window->btnCancel->isEnabled());
  EXPECT_FALSE(window->btnConvert->isEnabled());
  EXPECT_FALSE(window->lstCoordSys->isEnabled());
  EXPECT_FALSE(window->O1->isEnabled());
  EXPECT_TRUE(window->C1->isEnabled());
  WaitForRun();
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Kind, MessageKind::Information);
  EXPECT_EQ(services.Messages[0].Text.rfind("変換に成功しました。", 0), 0u);
  EXPECT_NE(ReadFile(dir / "roads.mif").find("CoordSys Earth Projection 8, 97"), std::string::npos);
  EXPECT_TRUE(window->StatusBar1->currentMessage().isEmpty());
  EXPECT_FALSE(window->prgConvert->isVisible());
  EXPECT_FALSE(window->btnCancel->isVisible());
  EXPECT_TRUE(window->btnConvert->isEnabled());
  EXPECT_EQ(services.WaitCursorOnCount, 0) << "the window stays usable: no hourglass";

  // A source without its table passes the check; the job refuses it and says why.
  services.Messages.clear();
  std::filesystem::remove(dir / "roads.dbf");
  ClickAndWait(window->btnConvert);
  EXPECT_EQ(services.Messages,
            (std::vector<Message>{
                {MessageKind::Warning,
                 "変換に失敗しました。\n\nDBFファイルがありません: " + (dir / "roads.dbf")}}));
}

TEST_F(MainWindowTest, TheStatusBarShowsTheFilesProgressAndTheRowsDone) {
  window->ShowProgress({true, 420, "2/3"});
  EXPECT_EQ(window->prgConvert->value(), 420);
  EXPECT_EQ(window->lblRows->text(), "2/3");
  EXPECT_TRUE(window->lblRows->isVisible());
  EXPECT_EQ(window->centralWidget()->cursor().shape(), Qt::BusyCursor);
  // The bar sits in the status bar's own row, beside the text.
  EXPECT_EQ(window->prgConvert->parentWidget(), window->StatusBar1);
  EXPECT_TRUE(window->StatusBar1->rect().contains(window->prgConvert->geometry()));
  window->ShowProgress({true, 0, ""});
  EXPECT_FALSE(window->lblRows->isVisible()) << "a single conversion counts no rows";
  window->ShowProgress({});
  EXPECT_FALSE(window->prgConvert->isVisible());
  EXPECT_NE(window->centralWidget()->cursor().shape(), Qt::BusyCursor);
}

TEST_F(MainWindowTest, EscStopsTheConversionAndLeavesNothingOnDisk) {
  SetInputs(3, MakeShapefile(dir, "roads", kRoadFields, 50000), dir / "roads.mif");
  Click(window->btnConvert);
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_FALSE(window->btnCancel->isEnabled()) << "asked once is enough";
  WaitForRun();
  EXPECT_EQ(services.MessageTexts(), std::vector<std::string>{kCancelledText});
  EXPECT_FALSE(std::filesystem::exists(dir / "roads.mif"));
  EXPECT_FALSE(std::filesystem::exists(dir / "roads.mid"));
}

TEST_F(MainWindowTest, ClosingDuringARunAsksWhetherToStopIt) {
  SetInputs(3, MakeShapefile(dir, "roads", kRoadFields, 50000), dir / "roads.mif");
  Click(window->btnConvert);
  services.Answers = {false};
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(services.Questions.size(), 1u);
  WaitForRun();

  Click(window->btnConvert);
  services.Answers = {true};
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->IsBusy()) << "the run is stopped and waited for";
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(services.Questions.size(), 2u);
  QCoreApplication::processEvents();
  EXPECT_EQ(services.Messages.size(), 1u) << "only the first run's box";
}

TEST_F(MainWindowTest, BrowsingTheSourceSetsTheTargetBesideIt) {
  services.DialogAnswers = {dir / "old.data/roads", dir / "地図/道路.shp", std::nullopt};
  window->edtMifFile->setText("typed.mif");
  Click(window->btnShpBrowse);
  EXPECT_EQ(window->edtShpFile->text().toStdString(), dir / "old.data/roads");
  EXPECT_EQ(window->edtMifFile->text().toStdString(), dir / "old.data/roads.mif");
  Click(window->btnShpBrowse);
  EXPECT_EQ(window->edtMifFile->text().toStdString(), dir / "地図/道路.mif");
  // Cancelled: nothing changes, and the dialog offered the name chosen last.
  Click(window->btnShpBrowse);
  EXPECT_EQ(window->edtShpFile->text().toStdString(), dir / "地図/道路.shp");
  ASSERT_EQ(services.Dialogs.size(), 3u);
  EXPECT_EQ(services.Dialogs[2].Name, "OpenDialog1");
  EXPECT_EQ(services.Dialogs[2].OfferedFileName, dir / "地図/道路.shp");

  services.DialogAnswers = {dir / "chosen.mif"};
  Click(window->btnMifBrowse);
  EXPECT_EQ(window->edtMifFile->text().toStdString(), dir / "chosen.mif");
  EXPECT_EQ(services.Dialogs.back().Name, "SaveDialog1");
  EXPECT_EQ(window->edtShpFile->text().toStdString(), dir / "地図/道路.shp");

  const TMainPresenter& presenter = window->Presenter();
  EXPECT_EQ(presenter.OpenDialog1.Filters,
            (std::vector<std::pair<std::string, std::string>>{{"SHP ファイル (*.shp)", "*.shp"}}));
  EXPECT_EQ(presenter.SaveDialog1.DefaultExt, "mif");
  EXPECT_EQ(presenter.SaveDialog2.DefaultExt, "txt");
  EXPECT_EQ(presenter.OpenDialog2.Filters.size(), 2u);
}

TEST_F(MainWindowTest, HelpOpensTheHelpFileBesideTheProgram) {
  QTest::keyClick(window.get(), Qt::Key_F1);
  ASSERT_EQ(services.HelpRequests.size(), 1u);
  EXPECT_EQ(services.HelpRequests[0].File, dir / "plexor-converter.hlp");
  EXPECT_EQ(services.HelpRequests[0].Command, 257u);
  EXPECT_EQ(services.HelpRequests[0].Data, 0u);
}

}  // namespace
}  // namespace plexor::test
