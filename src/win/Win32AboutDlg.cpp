#include "win/Win32AboutDlg.h"

#include <string>

#include "support/QvSysUtils.h"
#include "support/WideTextWin32.h"
#include "ui/MakerInfo.h"
#include "win/Win32Controls.h"

namespace plexor::win {
namespace {

constexpr int kClientWidth = 361;
constexpr int kOuterHeight = 214;
constexpr int kIdImage1 = 301;
constexpr int kIdLabel6 = 302;  // the web address
constexpr int kIdLabel4 = 303;  // the mail address

// A dialog without controls of its own: they are made in pixels once it exists, as the
// main window's are. The template must sit on a DWORD boundary.
struct alignas(4) TEmptyDialog {
  DLGTEMPLATE Header;
  WORD Menu = 0;
  WORD Class = 0;
  WORD Title = 0;
};

class TdlgAbout {
 public:
  TdlgAbout(HINSTANCE instance, IPlatformServices& services)
      : instance_(instance), services_(services) {}
  ~TdlgAbout() {
    DeleteObject(font_);
    DeleteObject(linkFont_);
  }

  void Run(HWND owner) {
    TEmptyDialog dialog{};
    dialog.Header.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DialogBoxIndirectParamW(instance_, &dialog.Header, owner, DialogProc,
                            reinterpret_cast<LPARAM>(this));
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TdlgAbout*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self == nullptr ? FALSE : self->Handle(hwnd, message, wParam, lParam);
  }

  INT_PTR Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        Create(hwnd);
        return FALSE;  // the focus is set: on the OK button
      case WM_COMMAND:
        return Command(hwnd, LOWORD(wParam));
      case WM_DRAWITEM: {
        const auto& draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (draw.CtlID != kIdImage1) return FALSE;
        DrawMakerLogo(draw.hDC, draw.rcItem);
        return TRUE;
      }
      case WM_CTLCOLORSTATIC: {
        // The links are blue on the dialog's own background.
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id != kIdLabel6 && id != kIdLabel4) return FALSE;
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0, 0, 255));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
      }
      case WM_SETCURSOR: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
        if (id != kIdLabel6 && id != kIdLabel4) return FALSE;
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      default:
        return FALSE;
    }
  }

  INT_PTR Command(HWND hwnd, int id) {
    switch (id) {
      case IDOK:      // Button1, or Enter
      case IDCANCEL:  // Esc, or the close box
        EndDialog(hwnd, id);
        return TRUE;
      case kIdLabel6:
        services_.ShellOpen(maker::kWebAddress);
        return TRUE;
      case kIdLabel4:
        services_.ShellOpen(std::string("mailto:") + maker::kMailAddress);
        return TRUE;
      default:
        return FALSE;
    }
  }

  void Create(HWND hwnd) {
    SetWindowTextW(hwnd, L"バージョン情報");
    font_ = CreateApplicationFont();
    linkFont_ = CreateApplicationFont(true);
    Place(hwnd);

    HWND image2 =
        NewControl(hwnd, font_, L"STATIC", -1, SS_ICON | SS_CENTERIMAGE, 0, Bounds(64, 16, 32, 32));
    const auto icon = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 32, 32, 0));
    SendMessageW(image2, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    NewLabel(hwnd, font_, L"Plexor Converter", 104, 16);
    const std::wstring version = L"Version " + Widen(GetExeFileVersion());
    NewLabel(hwnd, font_, version.c_str(), 104, 32);  // lblVersion
    NewControl(hwnd, font_, L"STATIC", kIdImage1, SS_OWNERDRAW, 0, Bounds(8, 80, 88, 31));
    NewLabel(hwnd, font_, Widen(maker::kName).c_str(), 104, 80);    // Label3
    NewLabel(hwnd, font_, Widen(maker::kRights).c_str(), 104, 96);  // Label2
    NewLabel(hwnd, font_, L"URL", 104, 112);                        // Label7
    HWND label6 = NewLabel(hwnd, linkFont_, Widen(maker::kWebAddress).c_str(), 152, 112, kIdLabel6);
    NewLabel(hwnd, font_, L"E-MAIL", 104, 128);  // Label5
    HWND label4 =
        NewLabel(hwnd, linkFont_, Widen(maker::kMailAddress).c_str(), 152, 128, kIdLabel4);
    for (HWND link : {label6, label4}) {
      SetWindowLongPtrW(link, GWL_STYLE, GetWindowLongPtrW(link, GWL_STYLE) | SS_NOTIFY);
    }
    HWND button1 = NewButton(hwnd, font_, IDOK, L"OK", Bounds(144, 152, 75, 21), BS_DEFPUSHBUTTON);
    SetFocus(button1);
  }

  // Client width 361 and outer height 214, centred on the owner.
  void Place(HWND hwnd) {
    RECT frame = {0, 0, kClientWidth, 100};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    RECT owner{};
    HWND parent = GetWindow(hwnd, GW_OWNER);
    if (parent == nullptr || !GetWindowRect(parent, &owner)) {
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &owner, 0);
    }
    const int left = (owner.left + owner.right - width) / 2;
    const int top = (owner.top + owner.bottom - kOuterHeight) / 2;
    SetWindowPos(hwnd, nullptr, left, top, width, kOuterHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  HINSTANCE instance_;
  IPlatformServices& services_;
  HFONT font_ = nullptr;
  HFONT linkFont_ = nullptr;
};

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner, IPlatformServices& services) {
  TdlgAbout box(instance, services);
  box.Run(owner);
}

}  // namespace plexor::win
