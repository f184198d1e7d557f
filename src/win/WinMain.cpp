// The desktop program on Windows: one window, and the program ends when it closes.
#include <windows.h>
// windows.h first: the other system headers build on it.
#include <commctrl.h>
#include <objbase.h>

#include "win/Win32MainWindow.h"
#include "win/Win32PlatformServices.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
  // The file dialogs host shell folders, which want a single-threaded apartment.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  plexor::win::Win32PlatformServices services;
  plexor::win::TfrmMain frmMain(instance, services);
  // The placement file decides where and how the window shows, not the caller's wish.
  frmMain.Show();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (frmMain.TranslateKeys(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoUninitialize();
  return static_cast<int>(msg.wParam);
}
