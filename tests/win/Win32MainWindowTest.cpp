// The Windows window over its presenter, with real controls: what the presenter is told
// comes back from the controls, and a run on its own thread reports through the window's
// message queue. Message boxes are recorded instead of shown.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "support/FileHandle.h"
#include "support/QvSysUtils.h"
#include "support/ShpBuilder.h"
#include "support/WideTextWin32.h"
#include "ui/Shapefiles.h"
#include "win/Win32Controls.h"
#include "win/Win32MainWindow.h"

namespace plexor::test {
namespace {

class RecordingServices : public win::Win32PlatformServices {
 public:
  struct Message {
    MessageKind Kind;
    std::string Text;
  };
  std::vector<Message> Messages;
  void ShowMessage(MessageKind kind, const std::string& text) override {
    Messages.push_back({kind, text});
  }
  void ShowApplicationError(const std::string& text) override {
    Messages.push_back({MessageKind::Error, text});
  }
  bool Confirm(const std::string&) override { return true; }
  // A program of its own in a folder of the test's, so the placement file lands there.
  std::string Exe;
  std::string ExePath() const override {
    return Exe.empty() ? Win32PlatformServices::ExePath() : Exe;
  }
};

// What the about box showed, read by a timer while the box runs its own loop.
struct AboutSeen {
  std::vector<std::wstring> Texts;
  bool Found = false;
};
AboutSeen aboutSeen;

void CALLBACK ReadAndCloseAboutBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = FindWindowW(L"#32770", L"バージョン情報");
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  aboutSeen.Found = true;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM) -> BOOL {
        wchar_t text[200] = {};
        GetWindowTextW(child, text, 200);
        aboutSeen.Texts.push_back(text);
        return TRUE;
      },
      0);
  // As Enter does: the OK button is the default one.
  SendMessageW(box, WM_COMMAND, IDOK, 0);
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A window closed before leaves the quit message that ends a program; here it would end
    // the next modal loop instead.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    window = std::make_unique<win::TfrmMain>(GetModuleHandleW(nullptr), services);
    // Without an X server Wine makes windows that hold nothing.
    if (window->Handle() == nullptr || SendMessageW(window->lstCoordSys, LB_GETCOUNT, 0, 0) == 0) {
      GTEST_SKIP() << "no display to make windows on";
    }
  }

  // Lets the window's queue run until `done`, for at most ten seconds.
  template <typename Done>
  bool Pump(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(5);
    }
    return true;
  }

  int ImageOf(int row) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    ListView_GetItem(window->lvwBatch, &item);
    return item.iImage;
  }
  // Shown, as far as the control goes: the window itself stays hidden in the tests.
  static bool Shown(HWND control) { return GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE; }

  std::wstring CellText(int row, int column) {
    wchar_t text[256] = {};
    ListView_GetItemText(window->lvwBatch, row, column, text, 256);
    return text;
  }

  RecordingServices services;
  std::unique_ptr<win::TfrmMain> window;
};

TEST_F(Win32WindowTest, InputsComeBackAsTheyWereGiven) {
  window->SetShpFileText("C:\\서울\\道.shp");
  window->SetMifFileText(" C:\\out\\道.mif");
  window->SetCombineFileText("C:\\𠮷.mif");
  EXPECT_EQ(window->ShpFileText(), "C:\\서울\\道.shp");
  EXPECT_EQ(window->MifFileText(), " C:\\out\\道.mif");  // untrimmed
  EXPECT_EQ(window->CombineFileText(), "C:\\𠮷.mif");

  EXPECT_EQ(window->SelectedCoordSys(), -1);
  window->SelectCoordSys(40);
  EXPECT_EQ(window->SelectedCoordSys(), 40);
  EXPECT_EQ(SendMessageW(window->lstCoordSys, LB_GETCOUNT, 0, 0), 41);

  EXPECT_FALSE(window->CombineChecked());
  window->SetCombineChecked(true);
  EXPECT_TRUE(window->CombineChecked());
}

TEST_F(Win32WindowTest, BatchRowsAndTheirSelection) {
  TBatchRowView row;
  row.Cells = {"30", "平面直角座標系", "C:\\道.shp", "C:\\道.mif"};
  row.Mark = TBatchMark::Failed;
  window->SetBatchRowCount(2);
  window->ShowBatchRow(1, row);
  EXPECT_EQ(ListView_GetItemCount(window->lvwBatch), 2);
  EXPECT_EQ(CellText(1, 0), L"30");
  EXPECT_EQ(CellText(1, 3), L"C:\\道.mif");
  EXPECT_EQ(CellText(0, 2), L"");
  EXPECT_EQ(ImageOf(1), static_cast<int>(TBatchMark::Failed));
  EXPECT_EQ(ImageOf(0), win::kBlankMarkImage);

  window->SelectBatchRow(1);
  EXPECT_EQ(window->SelectedBatchRow(), 1);
  window->SelectBatchRow(-1);
  EXPECT_EQ(window->SelectedBatchRow(), -1);
  window->SetBatchRowCount(0);
  EXPECT_EQ(ListView_GetItemCount(window->lvwBatch), 0);
}

TEST_F(Win32WindowTest, TheListsSelectionReachesThePresenter) {
  TempDir dir;
  const std::string source = MakeShapefile(dir, "roads");
  window->SelectCoordSys(3);
  window->SetShpFileText(source);
  window->SetMifFileText(dir / "a.mif");
  window->Presenter().btnAddClick();
  window->Presenter().btnAddClick();
  ASSERT_EQ(ListView_GetItemCount(window->lvwBatch), 2);
  EXPECT_EQ(CellText(0, 2), Widen(source));
  EXPECT_FALSE(IsWindowEnabled(window->btnRemove));
  // Two rows of one table and one coordinate system may be combined.
  EXPECT_TRUE(IsWindowEnabled(window->chkCombine));

  window->SelectBatchRow(0);
  EXPECT_TRUE(IsWindowEnabled(window->btnRemove));
  EXPECT_TRUE(IsWindowEnabled(window->btnReplace));
  window->Presenter().btnRemoveClick();
  EXPECT_EQ(ListView_GetItemCount(window->lvwBatch), 1);
  EXPECT_FALSE(IsWindowEnabled(window->btnRemove));
  EXPECT_FALSE(IsWindowEnabled(window->chkCombine));
}

TEST_F(Win32WindowTest, StartsWithTheCombineControlsAndRowCommandsDisabled) {
  for (HWND control : {window->chkCombine, window->edtConbineFile, window->btnCmbBrowse,
                       window->btnReplace, window->btnRemove}) {
    EXPECT_FALSE(IsWindowEnabled(control));
  }
  EXPECT_TRUE(IsWindowEnabled(window->btnConvert));
  EXPECT_TRUE(GetMenuState(window->MainMenu1, win::kIdC1, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(GetMenuState(window->MainMenu1, win::kIdD2, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(GetMenuState(window->MainMenu1, win::kIdD3, MF_BYCOMMAND) & MF_CHECKED);

  window->Presenter().D3Click();
  EXPECT_FALSE(GetMenuState(window->MainMenu1, win::kIdD2, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(GetMenuState(window->MainMenu1, win::kIdD3, MF_BYCOMMAND) & MF_CHECKED);
}

TEST_F(Win32WindowTest, PlacedByTheFrameWithTheLayoutsClientArea) {
  window->PlaceWindow({120, 80, 10, 10}, TWindowState::Normal);
  const TWindowBounds outer = window->OuterBounds();
  EXPECT_EQ(outer.Left, 120);
  EXPECT_EQ(outer.Top, 80);
  RECT client{};
  GetClientRect(window->Handle(), &client);
  EXPECT_EQ(client.right, 793);
  EXPECT_EQ(client.bottom, 415);
  // What was saved is where it goes again: no creeping by the frame.
  window->PlaceWindow(outer, TWindowState::Normal);
  EXPECT_EQ(window->OuterBounds(), outer);
  EXPECT_EQ(window->WindowState(), TWindowState::Normal);
}

TEST_F(Win32WindowTest, AConversionReportsThroughTheWindowsQueue) {
  TempDir dir;
  const std::string source = MakeShapefile(dir, "roads");
  window->SelectCoordSys(30);
  window->SetShpFileText(source);
  window->SetMifFileText(dir / "roads.mif");
  window->Presenter().btnConvertClick();
  EXPECT_TRUE(Shown(window->btnCancel));
  EXPECT_FALSE(IsWindowEnabled(window->btnConvert));
  ASSERT_TRUE(Pump([&] { return !window->Presenter().Running(); }));
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Kind, MessageKind::Information);
  EXPECT_EQ(services.Messages[0].Text.rfind(kConvertedText, 0), 0u);
  EXPECT_TRUE(RegularFileExists(dir / "roads.mid"));
  EXPECT_FALSE(Shown(window->btnCancel));
  EXPECT_TRUE(IsWindowEnabled(window->btnConvert));
}

TEST_F(Win32WindowTest, AClosedWindowComesBackWhereItWasClosed) {
  TempDir dir;
  services.Exe = dir / "plexor-converter.exe";
  window->PlaceWindow({150, 90, 0, 0}, TWindowState::Normal);
  const TWindowBounds closed = window->OuterBounds();
  window->Presenter().X1Click();
  EXPECT_EQ(window->Handle(), nullptr);
  const std::string ini = ReadFile(dir / "plexor-converter.INI");
  EXPECT_NE(ini.find("Left=150"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Top=90"), std::string::npos) << ini;

  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  window = std::make_unique<win::TfrmMain>(GetModuleHandleW(nullptr), services);
  window->Show();
  EXPECT_EQ(window->OuterBounds(), closed);
  EXPECT_EQ(window->WindowState(), TWindowState::Normal);
  EXPECT_EQ(GetFocus(), window->edtMifFile);
}

TEST_F(Win32WindowTest, TheAboutBoxShowsTheVersion) {
  aboutSeen = {};
  SetTimer(nullptr, 0, 20, ReadAndCloseAboutBox);
  window->Presenter().A1Click();  // returns once the box is closed
  ASSERT_TRUE(aboutSeen.Found);
  const auto has = [](const std::wstring& text) {
    return std::find(aboutSeen.Texts.begin(), aboutSeen.Texts.end(), text) != aboutSeen.Texts.end();
  };
  EXPECT_TRUE(has(L"Plexor Converter"));
  EXPECT_TRUE(has(Widen("Version " + GetExeFileVersion())));
  EXPECT_EQ(GetExeFileVersion().empty(), false);
  EXPECT_TRUE(has(L"OK"));
}

TEST_F(Win32WindowTest, ChecksTheInputsBeforeAnything) {
  window->Presenter().btnConvertClick();
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Text, kNoCoordSysText);
  EXPECT_FALSE(window->Presenter().Running());
}

// A drop as Explorer hands it over: DROPFILES, then the wide paths, each ended by a NUL, and
// one more NUL. The window frees it, as it must.
HDROP MakeDrop(const std::vector<std::string>& paths) {
  std::wstring list;
  for (const std::string& p : paths) {
    list += Widen(p);
    list += L'\0';
  }
  list += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

TEST_F(Win32WindowTest, DroppedFilesAndFoldersReachThePresenter) {
  TempDir here;
  // ASCII names: the fixture builders write through the narrow C library, which Windows
  // reads in its ANSI code page.
  MakeShapefile(here, "roads");
  MakeShapefile(here, "b");
  const std::string road = here / "roads.shp";
  SendMessageW(window->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({here / "roads.dbf"})), 0);
  EXPECT_EQ(window->ShpFileText(), road);
  EXPECT_EQ(window->MifFileText(), here / "roads.mif");

  window->SelectCoordSys(30);
  SendMessageW(window->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({road, here / "b.dbf"})), 0);
  ASSERT_EQ(window->Presenter().BatchRows().size(), 2u);
  EXPECT_EQ(window->Presenter().BatchRows()[1].SourcePath, here / "b.shp");
  EXPECT_EQ(ListView_GetItemCount(window->lvwBatch), 2);

  // A folder: each shapefile in it, in sorted order.
  window->Presenter().btnClearClick();
  SendMessageW(window->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({here.Path()})),
               0);
  ASSERT_EQ(window->Presenter().BatchRows().size(), 2u);
  EXPECT_EQ(window->Presenter().BatchRows()[0].SourcePath, here.Path() + "\\b.shp");
  EXPECT_EQ(window->Presenter().BatchRows()[1].TargetPath, here.Path() + "\\roads.mif");
  EXPECT_TRUE(services.Messages.empty());
}

}  // namespace
}  // namespace plexor::test
