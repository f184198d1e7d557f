// The main window on Windows: the single conversion on the left, the batch list on the
// right, drawn with the Windows API. Like the Qt window it decides nothing: it draws what
// its presenter says and hands every event of a control to the presenter's handler of the
// same name.
#pragma once

#include <windows.h>
// windows.h first: the other system headers build on it.
#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "ui/MainPresenter.h"
#include "ui/MainView.h"
#include "win/Win32PlatformServices.h"

namespace plexor::win {

// A task of a run, posted to the window: lParam is a TUiTask* that the window deletes.
inline constexpr UINT kRunTaskMessage = WM_APP + 1;

class TfrmMain : public IMainView {
 public:
  // Creates the window hidden, with every control, and runs FormCreate.
  TfrmMain(HINSTANCE instance, Win32PlatformServices& services);
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  HWND Handle() const { return hwnd_; }
  TMainPresenter& Presenter() { return presenter_; }
  // FormShow, then the window appears where and as the placement file says.
  void Show();
  // The keyboard of a dialog in an ordinary window: the shortcuts, Tab between the
  // controls. True when the message was taken.
  bool TranslateKeys(MSG& msg);

  // --- IMainView ---------------------------------------------------------------------------
  int SelectedCoordSys() const override;
  std::string ShpFileText() const override;
  std::string MifFileText() const override;
  bool CombineChecked() const override;
  std::string CombineFileText() const override;
  int SelectedBatchRow() const override;
  void SelectCoordSys(int index) override;
  void SetShpFileText(const std::string& path) override;
  void SetMifFileText(const std::string& path) override;
  void SetCombineChecked(bool checked) override;
  void SetCombineFileText(const std::string& path) override;
  void SetBatchRowCount(int count) override;
  void ShowBatchRow(int index, const TBatchRowView& row) override;
  void SelectBatchRow(int index) override;
  void SetControlEnabled(TControl control, bool enabled) override;
  void SetControlChecked(TControl control, bool checked) override;
  void SetControlTip(TControl control, const std::string& tip) override;
  void SetStatusText(const std::string& text) override;
  void ShowProgress(const TRunProgress& progress) override;
  TWindowBounds OuterBounds() const override;
  TWindowState WindowState() const override;
  void PlaceWindow(const TWindowBounds& outer, TWindowState state) override;
  void ShowAboutBox() override;
  void CloseWindow() override;

  // --- Controls ------------------------------------------------------------------------------
  HWND Label3 = nullptr;
  HWND lstCoordSys = nullptr;
  HWND Label5 = nullptr;
  HWND edtShpFile = nullptr;
  HWND btnShpBrowse = nullptr;
  HWND Label4 = nullptr;
  HWND edtMifFile = nullptr;
  HWND btnMifBrowse = nullptr;
  HWND btnAdd = nullptr;
  HWND btnReplace = nullptr;
  HWND btnConvert = nullptr;
  HWND Label2 = nullptr;
  HWND lvwBatch = nullptr;
  HWND chkCombine = nullptr;
  HWND Label1 = nullptr;
  HWND edtConbineFile = nullptr;
  HWND btnCmbBrowse = nullptr;
  HWND btnClear = nullptr;
  HWND btnRemove = nullptr;
  HWND btnBatch = nullptr;
  HWND StatusBar1 = nullptr;
  // In the status bar while a conversion runs.
  HWND lblRows = nullptr;
  HWND prgConvert = nullptr;
  HWND btnCancel = nullptr;
  HWND ToolTips = nullptr;
  HMENU MainMenu1 = nullptr;
  HIMAGELIST ImageList1 = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateMenu();
  void CreateControls();
  void CreateBatchList();
  void CreateStatusBar();
  void CreateAccelerators();
  void AddTip(HWND control, const std::wstring& tip);
  void OnCommand(int id);
  LRESULT OnNotify(const NMHDR& header);
  bool OnSetCursor(HWND under, int hitTest);
  void OnClose();
  // Files dropped from Explorer, handed on as UTF-8 paths.
  void OnDropFiles(HDROP drop);
  void DropPendingTasks();
  HWND ControlOf(TControl control) const;
  int MenuIdOf(TControl control) const;

  HINSTANCE instance_;
  Win32PlatformServices& services_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HACCEL accelerators_ = nullptr;
  HWND lastFocus_ = nullptr;
  TWindowState shownState_ = TWindowState::Normal;
  bool running_ = false;
  std::vector<TBatchRowView> rows_;  // the texts behind each row's tips
  TMainPresenter presenter_;         // last: it may report into everything above
};

}  // namespace plexor::win
