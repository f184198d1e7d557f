// What the presenter asks of the Windows window: the controls' contents and states, the
// batch list, the run's progress and the window's place.
#include "support/WideTextWin32.h"
#include "win/Win32AboutDlg.h"
#include "win/Win32Controls.h"
#include "win/Win32MainWindow.h"

namespace plexor::win {

// --- Inputs ------------------------------------------------------------------------------------

int TfrmMain::SelectedCoordSys() const {
  const auto selected = SendMessageW(lstCoordSys, LB_GETCURSEL, 0, 0);
  return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

std::string TfrmMain::ShpFileText() const {
  return TextOf(edtShpFile);
}

std::string TfrmMain::MifFileText() const {
  return TextOf(edtMifFile);
}

bool TfrmMain::CombineChecked() const {
  return SendMessageW(chkCombine, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string TfrmMain::CombineFileText() const {
  return TextOf(edtConbineFile);
}

int TfrmMain::SelectedBatchRow() const {
  return static_cast<int>(ListView_GetNextItem(lvwBatch, -1, LVNI_SELECTED));
}

void TfrmMain::SelectCoordSys(int index) {
  // Selecting an item also scrolls it into view.
  SendMessageW(lstCoordSys, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TfrmMain::SetShpFileText(const std::string& path) {
  SetText(edtShpFile, path);
}

void TfrmMain::SetMifFileText(const std::string& path) {
  SetText(edtMifFile, path);
}

void TfrmMain::SetCombineChecked(bool checked) {
  SendMessageW(chkCombine, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TfrmMain::SetCombineFileText(const std::string& path) {
  SetText(edtConbineFile, path);
}

// --- Batch list --------------------------------------------------------------------------------

void TfrmMain::SetBatchRowCount(int count) {
  while (ListView_GetItemCount(lvwBatch) > count) {
    ListView_DeleteItem(lvwBatch, ListView_GetItemCount(lvwBatch) - 1);
  }
  while (ListView_GetItemCount(lvwBatch) < count) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = ListView_GetItemCount(lvwBatch);
    item.pszText = const_cast<wchar_t*>(L"");
    item.iImage = kBlankMarkImage;
    ListView_InsertItem(lvwBatch, &item);
  }
  rows_.resize(static_cast<size_t>(count));
}

void TfrmMain::ShowBatchRow(int index, const TBatchRowView& row) {
  if (index < 0 || index >= ListView_GetItemCount(lvwBatch)) return;
  rows_[static_cast<size_t>(index)] = row;
  for (int c = 0; c < 4; ++c) {
    std::wstring text = Widen(row.Cells[static_cast<size_t>(c)]);
    ListView_SetItemText(lvwBatch, index, c, text.data());
  }
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  // Every row carries an image, blank without a mark, so the texts never move.
  item.iImage = row.Mark == TBatchMark::None ? kBlankMarkImage : static_cast<int>(row.Mark);
  ListView_SetItem(lvwBatch, &item);
}

void TfrmMain::SelectBatchRow(int index) {
  if (index < 0 || index >= ListView_GetItemCount(lvwBatch)) {
    ListView_SetItemState(lvwBatch, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    return;
  }
  ListView_SetItemState(lvwBatch, index, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(lvwBatch, index, FALSE);
}

// --- State -------------------------------------------------------------------------------------

HWND TfrmMain::ControlOf(TControl control) const {
  switch (control) {
    case TControl::lstCoordSys:
      return lstCoordSys;
    case TControl::edtShpFile:
      return edtShpFile;
    case TControl::btnShpBrowse:
      return btnShpBrowse;
    case TControl::edtMifFile:
      return edtMifFile;
    case TControl::btnMifBrowse:
      return btnMifBrowse;
    case TControl::btnAdd:
      return btnAdd;
    case TControl::btnReplace:
      return btnReplace;
    case TControl::btnConvert:
      return btnConvert;
    case TControl::chkCombine:
      return chkCombine;
    case TControl::edtConbineFile:
      return edtConbineFile;
    case TControl::btnCmbBrowse:
      return btnCmbBrowse;
    case TControl::btnClear:
      return btnClear;
    case TControl::btnRemove:
      return btnRemove;
    case TControl::btnBatch:
      return btnBatch;
    case TControl::C1:
      return btnCancel;
    default:
      return nullptr;  // menu items only
  }
}

int TfrmMain::MenuIdOf(TControl control) const {
  switch (control) {
    case TControl::O1:
      return kIdO1;
    case TControl::S1:
      return kIdS1;
    case TControl::C1:
      return kIdC1;
    case TControl::D2:
      return kIdD2;
    case TControl::D3:
      return kIdD3;
    default:
      return 0;
  }
}

void TfrmMain::SetControlEnabled(TControl control, bool enabled) {
  if (const int id = MenuIdOf(control)) {
    EnableMenuItem(MainMenu1, static_cast<UINT>(id),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  }
  HWND window = ControlOf(control);
  if (window == nullptr) return;
  // A control that goes grey while it has the focus would leave the keyboard nowhere.
  if (!enabled && GetFocus() == window) SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
  EnableWindow(window, enabled ? TRUE : FALSE);
}

void TfrmMain::SetControlChecked(TControl control, bool checked) {
  if (const int id = MenuIdOf(control)) {
    // The date formats are one choice of two, shown as radio marks.
    if (control == TControl::D2 || control == TControl::D3) {
      MENUITEMINFOW info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE;
      info.fType = MFT_STRING | MFT_RADIOCHECK;
      SetMenuItemInfoW(MainMenu1, static_cast<UINT>(id), FALSE, &info);
    }
    CheckMenuItem(MainMenu1, static_cast<UINT>(id),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    return;
  }
  if (control == TControl::chkCombine) SetCombineChecked(checked);
}

void TfrmMain::SetControlTip(TControl control, const std::string& tip) {
  if (HWND window = ControlOf(control)) AddTip(window, Widen(tip));
}

void TfrmMain::SetStatusText(const std::string& text) {
  SendMessageW(StatusBar1, SB_SETTEXTW, SB_SIMPLEID | SBT_NOBORDERS,
               reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

void TfrmMain::ShowProgress(const TRunProgress& progress) {
  running_ = progress.Running;
  SendMessageW(prgConvert, PBM_SETPOS, static_cast<WPARAM>(progress.Permille), 0);
  SetText(lblRows, progress.Rows);
  ShowWindow(lblRows, progress.Running && !progress.Rows.empty() ? SW_SHOWNA : SW_HIDE);
  ShowWindow(prgConvert, progress.Running ? SW_SHOWNA : SW_HIDE);
  ShowWindow(btnCancel, progress.Running ? SW_SHOWNA : SW_HIDE);
}

// --- The window --------------------------------------------------------------------------------

TWindowBounds TfrmMain::OuterBounds() const {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

TWindowState TfrmMain::WindowState() const {
  if (IsIconic(hwnd_)) return TWindowState::Minimized;
  if (IsZoomed(hwnd_)) return TWindowState::Maximized;
  return TWindowState::Normal;
}

// The frame goes where the file says, even off every screen; the size is the layout's own.
void TfrmMain::PlaceWindow(const TWindowBounds& outer, TWindowState state) {
  if (IsWindowVisible(hwnd_) && WindowState() != TWindowState::Normal) {
    ShowWindow(hwnd_, SW_RESTORE);
  }
  SetWindowPos(hwnd_, nullptr, outer.Left, outer.Top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  shownState_ = state;
  if (!IsWindowVisible(hwnd_)) return;  // Show() applies the state
  if (state == TWindowState::Maximized) ShowWindow(hwnd_, SW_MAXIMIZE);
  if (state == TWindowState::Minimized) ShowWindow(hwnd_, SW_MINIMIZE);
}

void TfrmMain::ShowAboutBox() {
  ::plexor::win::ShowAboutBox(instance_, hwnd_, services_);
}

void TfrmMain::CloseWindow() {
  SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace plexor::win
