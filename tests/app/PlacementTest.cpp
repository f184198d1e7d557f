#include <QCoreApplication>
#include <cstdlib>
#include <optional>

#include "app/GuiFixtures.h"
#include "support/QvSysUtils.h"

namespace plexor::test {
namespace {

// Each test has its own configuration folder, and a program folder that may hold a file.
class PlacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfig_ = old;
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    services.Exe = dir / "plexor-converter";
  }
  void TearDown() override {
    if (oldConfig_) ::setenv("XDG_CONFIG_HOME", oldConfig_->c_str(), 1);
  }
  std::unique_ptr<TfrmMain> Start() {
    auto window = std::make_unique<TfrmMain>(services);
    window->show();
    QCoreApplication::processEvents();
    return window;
  }
  std::string ConfigFile() const { return dir / "config/plexor-converter/plexor-converter.INI"; }
  std::string BesideFile() const { return dir / "plexor-converter.INI"; }

  TempDir dir;
  FakePlatformServices services;

 private:
  std::optional<std::string> oldConfig_;
};

TEST_F(PlacementTest, FirstStartStandsAtTwentyTwentyInTheNormalState) {
  const auto window = Start();
  EXPECT_EQ(window->pos(), QPoint(20, 20));
  EXPECT_EQ(window->windowState(), Qt::WindowNoState);
  EXPECT_EQ(window->centralWidget()->size(), QSize(793, 415));
  EXPECT_TRUE(services.Errors.empty());
}

TEST_F(PlacementTest, TheStoredStateAndPositionTakeEffectButNeverTheSize) {
  const QSize fixed = Start()->size();
  struct Case {
    const char* Ini;
    QPoint Pos;
    Qt::WindowState State;
  };
  const Case cases[] = {
      {"[Window]\nState=1\n", {20, 20}, Qt::WindowMaximized},
      {"[window]\nstate=2\nLeft=0x64\nTop=$10\n", {100, 16}, Qt::WindowMinimized},
      {"[Window]\nState=7\nLeft=abc\nTop=4000\nWidth=1234\nHeight=99\n",
       {20, 4000},
       Qt::WindowNoState},
  };
  for (const Case& c : cases) {
    WriteFile(BesideFile(), c.Ini);
    const auto window = Start();
    EXPECT_TRUE(window->windowState().testFlag(c.State) || c.State == Qt::WindowNoState) << c.Ini;
    if (c.State == Qt::WindowNoState) {
      EXPECT_EQ(window->windowState(), Qt::WindowNoState);
      // Off every screen is where the user left it; nothing moves it back.
      EXPECT_EQ(window->pos(), c.Pos) << c.Ini;
      EXPECT_EQ(window->size(), fixed);
    } else if (c.State == Qt::WindowMinimized) {
      window->setWindowState(Qt::WindowNoState);
      EXPECT_EQ(window->pos(), c.Pos) << c.Ini;
    }
  }
}

TEST_F(PlacementTest, ClosingWritesItAndAMaximizedCloseKeepsTheEarlierBounds) {
  {
    const auto window = Start();
    window->move(300, 40);
    EXPECT_TRUE(window->close());
  }
  const TWindowPlacement normal = ReadWindowPlacement(ConfigFile());
  EXPECT_EQ(normal.Left, 300);
  EXPECT_EQ(normal.Top, 40);
  EXPECT_EQ(normal.State, 0);
  EXPECT_GT(normal.Width, 793);  // the menu bar and the frame are part of the outer size
  {
    const auto window = Start();
    EXPECT_EQ(window->pos(), QPoint(300, 40));
    window->setWindowState(Qt::WindowMaximized);
    window->X1->trigger();
    EXPECT_FALSE(window->isVisible());
  }
  const TWindowPlacement maximized = ReadWindowPlacement(ConfigFile());
  EXPECT_EQ(maximized.State, 1);
  EXPECT_EQ(maximized.Left, 300);
  EXPECT_EQ(maximized.Top, 40);

  // A file beside the program wins, so a copy carried around keeps its own place.
  WriteFile(BesideFile(), "[Other]\nKeep=1\n");
  {
    const auto window = Start();
    EXPECT_EQ(window->pos(), QPoint(20, 20));
    window->move(64, 32);
    window->close();
  }
  EXPECT_EQ(ReadWindowPlacement(BesideFile()).Left, 64);
  EXPECT_NE(ReadFile(BesideFile()).find("Keep=1"), std::string::npos);
  EXPECT_EQ(ReadWindowPlacement(ConfigFile()).Left, 300);
}

TEST_F(PlacementTest, TheFrameStandsWhereItWasSavedStartAfterStart) {
  {
    const auto window = Start();
    window->move(137, 71);
    window->close();
  }
  const std::string saved = ReadFile(ConfigFile());
  for (int start = 0; start < 10; ++start) {
    const auto window = Start();
    EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(137, 71)) << start;
    window->close();
    EXPECT_EQ(ReadFile(ConfigFile()), saved) << "save, restore, save: the same outer geometry";
  }
  EXPECT_NE(saved.find("DateFormat=yyyy/mm/dd"), std::string::npos);
}

TEST_F(PlacementTest, APlacementThatCannotBeWrittenIsReportedAndTheWindowClosesAnyway) {
  WriteFile(dir / "config", "a file where the folder should be");
  const auto window = Start();
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(services.Errors, std::vector<std::string>{ConfigFile() + " に書き込めません"});
}

}  // namespace
}  // namespace plexor::test
