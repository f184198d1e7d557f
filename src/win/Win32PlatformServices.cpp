#include "win/Win32PlatformServices.h"

#include <commdlg.h>
#include <shellapi.h>

#include "support/ByteStrings.h"
#include "support/FileHandle.h"
#include "support/QvSysUtils.h"
#include "support/WideTextWin32.h"

namespace plexor::win {
namespace {

constexpr const char* kApplicationTitle = "Plexor Converter";
// Long enough for any path the wide API takes.
constexpr size_t kFileNameCapacity = 32768;

// A single ASCII character of a locale value, or `fallback` for anything longer or wider.
char AsciiOf(const std::wstring& value, char fallback) {
  if (value.size() != 1 || value[0] >= 0x80) return fallback;
  return static_cast<char>(value[0]);
}

std::wstring LocaleValue(LCTYPE type) {
  wchar_t value[80] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, value, 80) <= 0) return {};
  return value;
}

}  // namespace

std::wstring FilterText(const std::vector<std::pair<std::string, std::string>>& filters) {
  std::wstring text;
  for (const auto& [caption, pattern] : filters) {
    text += Widen(caption);
    text += L'\0';
    text += Widen(pattern);
    text += L'\0';
  }
  text += L'\0';
  return text;
}

RegionalSettings RegionalFromLocale(const std::wstring& decimal, const std::wstring& shortDate,
                                    const std::wstring& dateSeparator) {
  RegionalSettings regional;
  regional.DecimalSeparator = AsciiOf(decimal, '.');
  regional.DateSeparator = AsciiOf(dateSeparator, '/');
  // Windows writes the month as "M", the core's tokens are lower case.
  std::string format = Narrow(shortDate);
  if (!format.empty()) regional.ShortDateFormat = LowerAscii(format);
  return regional;
}

int Win32PlatformServices::Box(const std::string& text, const std::string& title,
                               UINT flags) const {
  // The box blocks the window, not the run: reports that arrive meanwhile wait their turn.
  return MessageBoxW(owner_, Widen(text).c_str(), Widen(title).c_str(), flags | MB_SETFOREGROUND);
}

void Win32PlatformServices::ShowMessage(MessageKind kind, const std::string& text) {
  UINT icon = MB_ICONINFORMATION;
  if (kind == MessageKind::Warning) icon = MB_ICONWARNING;
  if (kind == MessageKind::Error) icon = MB_ICONERROR;
  Box(text, MessageTitle(kind), MB_OK | icon);
}

void Win32PlatformServices::ShowApplicationError(const std::string& text) {
  Box(text, kApplicationTitle, MB_OK | MB_ICONERROR);
}

bool Win32PlatformServices::Confirm(const std::string& text) {
  return Box(text, "確認", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool Win32PlatformServices::ExecuteFileDialog(TFileDialog& dialog) {
  const std::wstring filter = FilterText(dialog.Filters);
  const std::wstring defaultExt = Widen(dialog.DefaultExt);
  std::wstring file = Widen(dialog.FileName);
  file.resize(kFileNameCapacity, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
  // No question before overwriting: a target is only written later, by a conversion or a
  // save. The current folder stays where the program started, so typed relative paths keep
  // their meaning.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  const bool save = dialog.DialogKind == TFileDialog::Kind::Save;
  if (!save) ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!chosen) return false;
  dialog.FileName = Narrow(file.c_str());
  return true;
}

void Win32PlatformServices::SetWaitCursor(bool on) {
  waitCursor_ = on;
  SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

void Win32PlatformServices::ProcessPendingEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The main loop still has to see it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// The keyword command without a keyword asks for the topic search; the manual is one HTML
// page that shows every topic, so the browser opening it is the closest thing.
void Win32PlatformServices::ShowHelp(const std::string& helpFile, uint32_t /*command*/,
                                     uintptr_t /*data*/) {
  const std::string manual = ChangeFileExt(helpFile, ".html");
  if (!RegularFileExists(manual)) {
    ShowMessage(MessageKind::Error, "ヘルプファイル " + manual + " が見つかりません。");
    return;
  }
  if (!ShellOpen(manual)) {
    ShowMessage(MessageKind::Error, "ヘルプファイル " + manual + " を開くプログラムがありません。");
  }
}

bool Win32PlatformServices::ShellOpen(const std::string& target) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

std::string Win32PlatformServices::ExePath() const {
  return GetExePath();
}

RegionalSettings Win32PlatformServices::Regional() const {
  return RegionalFromLocale(LocaleValue(LOCALE_SDECIMAL), LocaleValue(LOCALE_SSHORTDATE),
                            LocaleValue(LOCALE_SDATE));
}

}  // namespace plexor::win
