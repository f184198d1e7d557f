// The platform services of the real desktop: Qt's message boxes, file dialogs, cursors and
// the desktop's own browser and mail program.
#pragma once

#include <QString>

#include "ui/PlatformServices.h"

class QWidget;

namespace plexor {

class QtPlatformServices : public IPlatformServices {
 public:
  // The file dialogs are centred on `dialogParent` (the main window) once it is set.
  void SetDialogParent(QWidget* parent) { dialogParent_ = parent; }

  void ShowMessage(MessageKind kind, const std::string& text) override;
  void ShowApplicationError(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  bool ExecuteFileDialog(TFileDialog& dialog) override;
  void SetWaitCursor(bool on) override;
  void ProcessPendingEvents() override;
  // There is no WinHelp here: the manual is the HTML page of the help file's base name
  // beside it, opened in the browser, or in a window of our own when there is no browser.
  // A missing manual gets a box of its own.
  void ShowHelp(const std::string& helpFile, uint32_t command, uintptr_t data) override;
  bool ShellOpen(const std::string& target) override;
  std::string ExePath() const override;
  RegionalSettings Regional() const override;

 private:
  QWidget* dialogParent_ = nullptr;
};

// The HTML manual that stands for a help file: the same path with ".html".
std::string HelpManualPath(const std::string& helpFile);
// The Qt name filter for one filter pair. Linux names need no dot, so "*.*" offers "*".
QString QtNameFilter(const std::string& caption, const std::string& pattern);

}  // namespace plexor
