// Where the Windows program is and where it keeps its placement.
#ifdef _WIN32
#include <windows.h>
// windows.h first: the shell headers build on it.
#include <knownfolders.h>
#include <shlobj.h>

#include "support/QvSysUtils.h"
#include "support/WideTextWin32.h"

namespace plexor {
namespace {

constexpr const wchar_t* kUserFolderName = L"Plexor Converter";

// True when a file may be written at `path`: an existing file that opens for writing, or a
// new one that the folder lets us create (made and removed again at once).
bool CanWriteAt(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
    h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::wstring RoamingAppData() {
  PWSTR folder = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder))) out = folder;
  CoTaskMemFree(folder);
  return out;
}

}  // namespace

std::string GetExePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return Narrow(path);
    }
    path.resize(path.size() * 2);
  }
}

// Beside the program, as it always was; a program installed under "Program Files" may not
// write there, and its placement then goes to the user's roaming application data.
std::string WindowPlacementIniPath(const std::string& exePath) {
  const std::string name = GetFileBaseName(exePath) + ".INI";
  const std::string beside = GetFileDir(exePath) + name;
  if (CanWriteAt(Widen(beside))) return beside;
  const std::wstring appData = RoamingAppData();
  if (appData.empty()) return beside;  // nowhere better: the write reports the failure
  const std::wstring folder = appData + L"\\" + kUserFolderName;
  // The placement file's writer makes no folders on Windows, where it used to need none.
  CreateDirectoryW(folder.c_str(), nullptr);
  return Narrow(folder) + "\\" + name;
}

}  // namespace plexor
#endif  // _WIN32
