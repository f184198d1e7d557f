#include "win/Win32Controls.h"

#include "support/WideTextWin32.h"

namespace plexor::win {
namespace {

constexpr int kMarkSize = 16;
constexpr COLORREF kMaskColour = RGB(255, 0, 255);

// One 16 x 16 mark: the mask colour all over, then `draw` with a pen of the mark's colour.
template <typename Draw>
void AddMark(HIMAGELIST images, HDC screen, COLORREF colour, Draw draw) {
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, kMarkSize, kMarkSize);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HBRUSH mask = CreateSolidBrush(kMaskColour);
  RECT all = {0, 0, kMarkSize, kMarkSize};
  FillRect(dc, &all, mask);
  DeleteObject(mask);
  LOGBRUSH brush = {BS_SOLID, colour, 0};
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 3, &brush, 0,
                          nullptr);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  draw(dc);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, oldBitmap);
  ImageList_AddMasked(images, bitmap, kMaskColour);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace

HFONT CreateApplicationFont(bool underline) {
  return CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
                     SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     VARIABLE_PITCH | FF_SWISS, L"ＭＳ Ｐゴシック");
}

HWND NewControl(HWND parent, HFONT font, const wchar_t* className, int id, DWORD style,
                DWORD exStyle, RECT bounds, const wchar_t* text) {
  HWND control = CreateWindowExW(
      exStyle, className, text, WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
      bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

HWND NewLabel(HWND parent, HFONT font, const wchar_t* text, int left, int top, int id) {
  HDC dc = GetDC(parent);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
  SelectObject(dc, old);
  ReleaseDC(parent, dc);
  // 12 pixels high as laid out; a face with a taller cell than ＭＳ Ｐゴシック's (the IPA
  // fonts under Wine) keeps its descenders and the links their underline.
  return NewControl(parent, font, L"STATIC", id, SS_LEFT | SS_NOPREFIX, 0,
                    Bounds(left, top, size.cx, size.cy > 12 ? size.cy : 12), text);
}

HWND NewButton(HWND parent, HFONT font, int id, const wchar_t* text, RECT bounds, DWORD style) {
  return NewControl(parent, font, L"BUTTON", id, WS_TABSTOP | (style ? style : BS_PUSHBUTTON), 0,
                    bounds, text);
}

HWND NewEdit(HWND parent, HFONT font, int id, RECT bounds) {
  return NewControl(parent, font, L"EDIT", id, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                    bounds);
}

std::string TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void SetText(HWND window, const std::string& utf8) {
  SetWindowTextW(window, Widen(utf8).c_str());
}

HIMAGELIST CreateMarkImages() {
  HIMAGELIST images = ImageList_Create(kMarkSize, kMarkSize, ILC_COLOR24 | ILC_MASK, 3, 0);
  HDC screen = GetDC(nullptr);
  AddMark(images, screen, RGB(0x1E, 0x9E, 0x3A), [](HDC dc) {
    const POINT check[] = {{3, 8}, {6, 11}, {12, 4}};
    Polyline(dc, check, 3);
  });
  AddMark(images, screen, RGB(0xD0, 0x20, 0x20), [](HDC dc) {
    MoveToEx(dc, 4, 4, nullptr);
    LineTo(dc, 11, 11);
    MoveToEx(dc, 11, 4, nullptr);
    LineTo(dc, 4, 11);
  });
  AddMark(images, screen, kMaskColour, [](HDC) {});
  ReleaseDC(nullptr, screen);
  return images;
}

void DrawMakerLogo(HDC dc, RECT bounds) {
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  HRGN shape =
      CreateRoundRectRgn(bounds.left, bounds.top, bounds.right + 1, bounds.bottom + 1, 8, 8);
  SelectClipRgn(dc, shape);
  // Top to bottom from a light blue into a deep one.
  for (int y = 0; y < height; ++y) {
    const auto mix = [y, height](int from, int to) {
      return from + (to - from) * y / (height - 1);
    };
    HBRUSH line = CreateSolidBrush(RGB(mix(0x3B, 0x1C), mix(0x7D, 0x4E), mix(0xD8, 0x9A)));
    RECT row = {bounds.left, bounds.top + y, bounds.left + width, bounds.top + y + 1};
    FillRect(dc, &row, line);
    DeleteObject(line);
  }
  SelectClipRgn(dc, nullptr);
  HBRUSH edge = CreateSolidBrush(RGB(0x12, 0x36, 0x6E));
  FrameRgn(dc, shape, edge, 1, 1);
  DeleteObject(edge);
  DeleteObject(shape);
  HFONT font =
      CreateFontW(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Arial");
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  DrawTextW(dc, L"PLEXOR", -1, &bounds, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  DeleteObject(font);
}

}  // namespace plexor::win
