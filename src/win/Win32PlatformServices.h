// The desktop as the Windows API offers it: message boxes, the common file dialogs, the
// cursor, the shell and the user's regional settings. Every text crosses into the system
// as UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/PlatformServices.h"

namespace plexor::win {

class Win32PlatformServices : public IPlatformServices {
 public:
  // The window that owns the boxes and dialogs, so that they stay above it and block it.
  void SetOwner(HWND owner) { owner_ = owner; }
  bool WaitCursorOn() const { return waitCursor_; }

  void ShowMessage(MessageKind kind, const std::string& text) override;
  void ShowApplicationError(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  bool ExecuteFileDialog(TFileDialog& dialog) override;
  void SetWaitCursor(bool on) override;
  void ProcessPendingEvents() override;
  void ShowHelp(const std::string& helpFile, uint32_t command, uintptr_t data) override;
  bool ShellOpen(const std::string& target) override;
  std::string ExePath() const override;
  RegionalSettings Regional() const override;

 private:
  int Box(const std::string& text, const std::string& title, UINT flags) const;

  HWND owner_ = nullptr;
  bool waitCursor_ = false;
};

// The filter text of a common file dialog: caption and pattern of each filter, each ended by
// a NUL, and one more NUL at the end.
std::wstring FilterText(const std::vector<std::pair<std::string, std::string>>& filters);
// The user's locale values as the core takes them: the decimal separator, the short date
// format in the core's lower-case tokens, the date separator. MadeSafe is the caller's.
RegionalSettings RegionalFromLocale(const std::wstring& decimal, const std::wstring& shortDate,
                                    const std::wstring& dateSeparator);

}  // namespace plexor::win
