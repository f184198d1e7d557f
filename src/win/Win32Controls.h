// What the Windows window and its about box share: the control ids, the font, and small
// makers of controls and pictures drawn with GDI, so that the resource file holds nothing
// but the icon, the version and the manifest.
#pragma once

#include <windows.h>
// windows.h first: the other system headers build on it.
#include <commctrl.h>

#include <string>

namespace plexor::win {

// Command ids of the menu items and the controls that report to the main window.
enum TCommandId : int {
  kIdO1 = 100,
  kIdS1,
  kIdC1,
  kIdX1,
  kIdD2,
  kIdD3,
  kIdH2,
  kIdA1,
  kIdLstCoordSys = 200,
  kIdEdtShpFile,
  kIdBtnShpBrowse,
  kIdEdtMifFile,
  kIdBtnMifBrowse,
  kIdBtnAdd,
  kIdBtnReplace,
  kIdBtnConvert,
  kIdLvwBatch,
  kIdChkCombine,
  kIdEdtConbineFile,
  kIdBtnCmbBrowse,
  kIdBtnClear,
  kIdBtnRemove,
  kIdBtnBatch,
  kIdStatusBar1,
  kIdLblRows,
  kIdPrgConvert,
  kIdBtnCancel,
};

// The program's icon in the resource file.
inline constexpr int kIconResource = 1;

// "ＭＳ Ｐゴシック", 12 pixels high; the font mapper takes another Japanese face where it is
// missing, never one without the glyphs.
HFONT CreateApplicationFont(bool underline = false);

// Each control is made with the window's font, at its pixel bounds in the parent's client
// area. Labels are as wide as their text and 12 pixels high (more where the face needs it).
HWND NewLabel(HWND parent, HFONT font, const wchar_t* text, int left, int top, int id = -1);
HWND NewButton(HWND parent, HFONT font, int id, const wchar_t* text, RECT bounds, DWORD style = 0);
HWND NewEdit(HWND parent, HFONT font, int id, RECT bounds);
HWND NewControl(HWND parent, HFONT font, const wchar_t* className, int id, DWORD style,
                DWORD exStyle, RECT bounds, const wchar_t* text = L"");
// Left, top, width, height, as the layout tables give them.
inline RECT Bounds(int left, int top, int width, int height) {
  return {left, top, left + width, top + height};
}

// The text of a window as UTF-8, and back.
std::string TextOf(HWND window);
void SetText(HWND window, const std::string& utf8);

// The list's row marks, in the order of TBatchMark: converted, failed, then a blank one
// that keeps every row the same.
HIMAGELIST CreateMarkImages();
inline constexpr int kBlankMarkImage = 2;
// The maker's logo, 88 x 31, drawn where the about box asks for it.
void DrawMakerLogo(HDC dc, RECT bounds);

}  // namespace plexor::win
