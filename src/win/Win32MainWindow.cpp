#include "win/Win32MainWindow.h"

#include <windowsx.h>

#include "engine/CoordSys.h"
#include "support/WideTextWin32.h"
#include "win/Win32Controls.h"

namespace plexor::win {
namespace {

constexpr const wchar_t* kWindowClass = L"TfrmMain";
constexpr int kClientWidth = 793;
constexpr int kClientHeight = 415;
// A frame that only the title bar's buttons may change: the layout was drawn for one size.
constexpr DWORD kStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// The controls of the status bar are its children; what they report goes to the window.
LRESULT CALLBACK StatusBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR /*id*/, DWORD_PTR /*data*/) {
  if (message == WM_COMMAND) return SendMessageW(GetParent(hwnd), message, wParam, lParam);
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void AppendItem(HMENU menu, int id, const wchar_t* caption) {
  AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), caption);
}

}  // namespace

TfrmMain::TfrmMain(HINSTANCE instance, Win32PlatformServices& services)
    : instance_(instance), services_(services), presenter_(*this, services, [this](TUiTask task) {
        // From the run's thread: the task runs on ours, after what was posted before it.
        // Once the window is gone nothing is left to report to.
        auto* posted = new TUiTask(std::move(task));
        HWND window = hwnd_;
        if (window == nullptr ||
            !PostMessageW(window, kRunTaskMessage, 0, reinterpret_cast<LPARAM>(posted))) {
          delete posted;
        }
      }) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconResource));
  wc.hIconSm = static_cast<HICON>(
      LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);

  font_ = CreateApplicationFont();
  CreateMenu();
  RECT outer = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&outer, kStyle, TRUE, kExStyle);
  CreateWindowExW(kExStyle, kWindowClass, L"Plexor Converter", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                  outer.right - outer.left, outer.bottom - outer.top, nullptr, MainMenu1, instance_,
                  this);
  services_.SetOwner(hwnd_);
  // The edits take no files of their own, so a drop anywhere reaches the window.
  DragAcceptFiles(hwnd_, TRUE);
  CreateControls();
  CreateAccelerators();
  presenter_.FormCreate();
}

TfrmMain::~TfrmMain() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
  if (ImageList1 != nullptr) ImageList_Destroy(ImageList1);
  DeleteObject(font_);
}

void TfrmMain::CreateMenu() {
  MainMenu1 = ::CreateMenu();
  HMENU F1 = CreatePopupMenu();
  AppendItem(F1, kIdO1, L"開く(&O)...\tCtrl+O");
  AppendItem(F1, kIdS1, L"保存(&S)...\tCtrl+S");
  AppendMenuW(F1, MF_SEPARATOR, 0, nullptr);  // N1
  AppendItem(F1, kIdC1, L"変換の中止(&C)\tEsc");
  AppendMenuW(F1, MF_SEPARATOR, 0, nullptr);  // N3
  AppendItem(F1, kIdX1, L"終了(&X)");
  AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(F1), L"ファイル(&F)");

  HMENU T1 = CreatePopupMenu();
  HMENU D1 = CreatePopupMenu();
  AppendItem(D1, kIdD2, L"yyyy/mm/dd（標準）");
  AppendItem(D1, kIdD3, L"yyyymmdd（GDAL・QGIS で日付として読めます）");
  AppendMenuW(T1, MF_POPUP, reinterpret_cast<UINT_PTR>(D1), L"MIDの日付の書式(&D)");
  AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(T1), L"設定(&T)");

  HMENU H1 = CreatePopupMenu();
  AppendItem(H1, kIdH2, L"トピックの検索(&H)\tF1");
  AppendMenuW(H1, MF_SEPARATOR, 0, nullptr);  // N2
  AppendItem(H1, kIdA1, L"バージョン情報(&A)...");
  AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(H1), L"ヘルプ(&H)");
}

void TfrmMain::CreateAccelerators() {
  ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'O', kIdO1},
                  {FCONTROL | FVIRTKEY, 'S', kIdS1},
                  {FVIRTKEY, VK_ESCAPE, kIdC1},
                  {FVIRTKEY, VK_F1, kIdH2}};
  accelerators_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
}

// Controls that take the focus are made in their tab order: the system walks them in the
// order they were made. The labels, which take no focus, come first.
void TfrmMain::CreateControls() {
  HWND w = hwnd_;
  Label3 = NewLabel(w, font_, L"MIFに記述する投影法", 8, 8);
  Label5 = NewLabel(w, font_, L"変換元SHPのファイル名", 8, 288);
  Label4 = NewLabel(w, font_, L"変換後MIFのファイル名", 8, 328);
  Label2 = NewLabel(w, font_, L"バッチリスト", 328, 8);
  Label1 = NewLabel(w, font_, L"統合後のファイル名", 328, 328);

  edtMifFile = NewEdit(w, font_, kIdEdtMifFile, Bounds(8, 344, 249, 20));                  // 0
  btnMifBrowse = NewButton(w, font_, kIdBtnMifBrowse, L"参照", Bounds(264, 344, 49, 21));  // 1
  edtShpFile = NewEdit(w, font_, kIdEdtShpFile, Bounds(8, 304, 249, 20));                  // 2
  btnShpBrowse = NewButton(w, font_, kIdBtnShpBrowse, L"参照", Bounds(264, 304, 49, 21));  // 3
  CreateBatchList();                                                                       // 4
  chkCombine = NewButton(w, font_, kIdChkCombine,
                         L"ファイルを統合する（同一の属性定義、投影法での変換時のみ使用可能）",
                         Bounds(328, 304, 457, 17), BS_AUTOCHECKBOX);                        // 5
  btnAdd = NewButton(w, font_, kIdBtnAdd, L"追加", Bounds(80, 368, 75, 21));                 // 6
  btnReplace = NewButton(w, font_, kIdBtnReplace, L"置換", Bounds(160, 368, 75, 21));        // 7
  btnConvert = NewButton(w, font_, kIdBtnConvert, L"すぐに変換", Bounds(240, 368, 75, 21));  // 8
  btnClear = NewButton(w, font_, kIdBtnClear, L"クリア", Bounds(552, 368, 75, 21));          // 9
  btnRemove = NewButton(w, font_, kIdBtnRemove, L"削除", Bounds(632, 368, 75, 21));          // 10
  btnBatch = NewButton(w, font_, kIdBtnBatch, L"変換開始", Bounds(712, 368, 75, 21));        // 11
  edtConbineFile = NewEdit(w, font_, kIdEdtConbineFile, Bounds(328, 344, 401, 20));          // 12
  btnCmbBrowse = NewButton(w, font_, kIdBtnCmbBrowse, L"参照", Bounds(736, 344, 49, 21));    // 13

  lstCoordSys = NewControl(w, font_, L"LISTBOX", kIdLstCoordSys,
                           WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                           WS_EX_CLIENTEDGE, Bounds(8, 24, 305, 257));  // 15
  for (int32_t i = 0; i < kCoordSysCount; ++i) {
    SendMessageW(lstCoordSys, LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(Widen(GetCoordSysDisplayText(i)).c_str()));
  }
  SendMessageW(lstCoordSys, LB_SETITEMHEIGHT, 0, 12);

  CreateStatusBar();
  ToolTips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                             nullptr, instance_, nullptr);
  SendMessageW(ToolTips, TTM_SETMAXTIPWIDTH, 0, 600);
  AddTip(btnCancel, L"変換を中止します (Esc)");
  SetFocus(edtMifFile);
}

void TfrmMain::CreateBatchList() {
  lvwBatch =
      NewControl(hwnd_, font_, WC_LISTVIEWW, kIdLvwBatch,
                 WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                 WS_EX_CLIENTEDGE, Bounds(328, 24, 457, 273));
  ListView_SetExtendedListViewStyle(lvwBatch, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  ImageList1 = CreateMarkImages();
  ListView_SetImageList(lvwBatch, ImageList1, LVSIL_SMALL);
  const wchar_t* headings[] = {L"", L"投影法", L"元ファイル", L"先ファイル"};
  const int widths[] = {18, 110, 154, 154};
  for (int c = 0; c < 4; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(headings[c]);
    column.cx = widths[c];
    column.iSubItem = c;
    ListView_InsertColumn(lvwBatch, c, &column);
  }
}

// A bare bar of one text at the layout's place; the run's row count, bar and cancel button
// sit at its right end while a conversion runs.
void TfrmMain::CreateStatusBar() {
  StatusBar1 = NewControl(hwnd_, font_, STATUSCLASSNAMEW, kIdStatusBar1,
                          CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NOMOVEY | WS_CLIPCHILDREN, 0,
                          Bounds(0, 396, kClientWidth, 19));
  SendMessageW(StatusBar1, SB_SIMPLE, TRUE, 0);
  SetWindowSubclass(StatusBar1, StatusBarProc, 1, 0);
  const int cancelLeft = kClientWidth - 4 - 60;
  const int barLeft = cancelLeft - 6 - 160;
  lblRows = NewControl(StatusBar1, font_, L"STATIC", kIdLblRows, SS_RIGHT | SS_NOPREFIX, 0,
                       Bounds(barLeft - 6 - 80, 4, 80, 12));
  prgConvert = NewControl(StatusBar1, font_, PROGRESS_CLASSW, kIdPrgConvert, 0, 0,
                          Bounds(barLeft, 3, 160, 13));
  SendMessageW(prgConvert, PBM_SETRANGE32, 0, 1000);
  btnCancel = NewButton(StatusBar1, font_, kIdBtnCancel, L"中止", Bounds(cancelLeft, 1, 60, 17));
  for (HWND w : {lblRows, prgConvert, btnCancel}) ShowWindow(w, SW_HIDE);
}

void TfrmMain::AddTip(HWND control, const std::wstring& tip) {
  // A tool over the control's place in its parent: a disabled control gets no mouse of its
  // own, and its tip says why it is disabled.
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_SUBCLASS;
  info.hwnd = GetParent(control);
  info.uId = reinterpret_cast<UINT_PTR>(control);
  GetWindowRect(control, &info.rect);
  MapWindowPoints(nullptr, info.hwnd, reinterpret_cast<POINT*>(&info.rect), 2);
  info.lpszText = const_cast<wchar_t*>(tip.c_str());
  SendMessageW(ToolTips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  if (!tip.empty()) SendMessageW(ToolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

// --- Start and end -----------------------------------------------------------------------------

void TfrmMain::Show() {
  presenter_.FormShow();
  int show = SW_SHOWNORMAL;
  if (shownState_ == TWindowState::Maximized) show = SW_SHOWMAXIMIZED;
  if (shownState_ == TWindowState::Minimized) show = SW_SHOWMINIMIZED;
  ShowWindow(hwnd_, show);
  UpdateWindow(hwnd_);
  SetFocus(edtMifFile);
}

void TfrmMain::OnClose() {
  if (!presenter_.FormCloseQuery()) return;
  presenter_.FormClose();
  DestroyWindow(hwnd_);
}

void TfrmMain::DropPendingTasks() {
  MSG msg;
  while (PeekMessageW(&msg, hwnd_, kRunTaskMessage, kRunTaskMessage, PM_REMOVE)) {
    delete reinterpret_cast<TUiTask*>(msg.lParam);
  }
}

bool TfrmMain::TranslateKeys(MSG& msg) {
  if (hwnd_ == nullptr) return false;
  // Noted here, not when the window goes inactive: a modal box disables the window before
  // it takes over, and that has taken the focus away already.
  if (HWND focus = GetFocus(); focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
  if (TranslateAcceleratorW(hwnd_, accelerators_, &msg)) return true;
  return IsDialogMessageW(hwnd_, &msg) != 0;
}

// --- Events ------------------------------------------------------------------------------------

LRESULT CALLBACK TfrmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT TfrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunTaskMessage: {
      std::unique_ptr<TUiTask> task(reinterpret_cast<TUiTask*>(lParam));
      (*task)();
      return 0;
    }
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_SETCURSOR:
      if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
      break;
    case WM_ACTIVATE:
      // Back to the control that had the focus, as a dialog does.
      if (LOWORD(wParam) != WA_INACTIVE && lastFocus_ != nullptr && IsWindow(lastFocus_) &&
          IsWindowEnabled(lastFocus_)) {
        SetFocus(lastFocus_);
        return 0;
      }
      break;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_DESTROY:
      DropPendingTasks();
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void TfrmMain::OnDropFiles(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(length);
    paths.push_back(Narrow(path));
  }
  DragFinish(drop);
  presenter_.FormDropFiles(paths);
}

void TfrmMain::OnCommand(int id) {
  TMainPresenter& p = presenter_;
  switch (id) {
    case kIdBtnShpBrowse:
      return p.btnShpBrowseClick();
    case kIdBtnMifBrowse:
      return p.btnMifBrowseClick();
    case kIdBtnConvert:
      return p.btnConvertClick();
    case kIdBtnAdd:
      return p.btnAddClick();
    case kIdBtnReplace:
      return p.btnReplaceClick();
    case kIdBtnClear:
      return p.btnClearClick();
    case kIdBtnRemove:
      return p.btnRemoveClick();
    case kIdBtnCmbBrowse:
      return p.btnCmbBrowseClick();
    case kIdBtnBatch:
      return p.btnBatchClick();
    case kIdBtnCancel:
    case kIdC1:
    case IDCANCEL:  // Esc where the dialog keys saw it first
      return p.btnCancelClick();
    case kIdO1:
      return p.O1Click();
    case kIdS1:
      return p.S1Click();
    case kIdX1:
      return p.X1Click();
    case kIdD2:
      return p.D2Click();
    case kIdD3:
      return p.D3Click();
    case kIdH2:
      return p.H2Click();
    case kIdA1:
      return p.A1Click();
    default:
      return;
  }
}

LRESULT TfrmMain::OnNotify(const NMHDR& header) {
  if (header.idFrom != kIdLvwBatch) return 0;
  switch (header.code) {
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) &&
          ((change.uNewState ^ change.uOldState) & LVIS_SELECTED)) {
        presenter_.lvwBatchChange();
      }
      return 0;
    }
    case NM_DBLCLK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) {
        presenter_.lvwBatchDblClick();
      }
      return 0;
    case LVN_GETINFOTIPW: {
      auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
      // The cell under the mouse, whose full text the narrow column may cut off.
      LVHITTESTINFO hit{};
      GetCursorPos(&hit.pt);
      ScreenToClient(lvwBatch, &hit.pt);
      const int cell = ListView_SubItemHitTest(lvwBatch, &hit) >= 0 ? hit.iSubItem : 0;
      if (tip.iItem >= 0 && static_cast<size_t>(tip.iItem) < rows_.size() && tip.cchTextMax > 0) {
        const std::wstring text = Widen(rows_[static_cast<size_t>(tip.iItem)].Tips[cell & 3]);
        lstrcpynW(tip.pszText, text.c_str(), tip.cchTextMax);
      }
      return 0;
    }
    default:
      return 0;
  }
}

// Busy, but not blocked: during a run the window shows the busy arrow, except over the
// cancel button; the wait cursor of a modal step covers everything.
bool TfrmMain::OnSetCursor(HWND under, int hitTest) {
  if (services_.WaitCursorOn()) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
  }
  if (running_ && hitTest == HTCLIENT && under != btnCancel) {
    SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    return true;
  }
  return false;
}

}  // namespace plexor::win
