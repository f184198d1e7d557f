// Everything the window needs from the desktop, behind one interface, so that the window's
// decisions run in the tests without a display and without a modal dialog waiting for a hand.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/RegionalSettings.h"
#include "support/UserMessages.h"

namespace plexor {

// The help viewer's keyword command; with no keyword the viewer offers its topic search.
inline constexpr uint32_t kHelpKeyCommand = 257;

// One file dialog of the window. It remembers the name chosen last and offers it again.
struct TFileDialog {
  enum class Kind { Open, Save };

  std::string Name;  // the dialog's name in the window, e.g. "OpenDialog1"
  Kind DialogKind = Kind::Open;
  std::vector<std::pair<std::string, std::string>> Filters;  // caption, pattern
  std::string DefaultExt;  // without the dot; added to a typed name that has none
  std::string FileName;    // the chosen path after a confirmed run
};

class IPlatformServices : public IUserMessages {
 public:
  // ShowMessage (IUserMessages): modal, centred on the screen, one "OK" button, the kind's
  // icon and title ("警告", "エラー", "情報"), nothing added to the title.

  // The application's error box: title "Plexor Converter", error icon.
  virtual void ShowApplicationError(const std::string& text) = 0;
  // A question with "はい" and "いいえ"; true for "はい".
  virtual bool Confirm(const std::string& text) = 0;
  // Runs the dialog; true with dialog.FileName set when the user confirmed.
  virtual bool ExecuteFileDialog(TFileDialog& dialog) = 0;
  // On: the screen-wide hourglass. Off: back to the default cursor, however often it was
  // turned on.
  virtual void SetWaitCursor(bool on) = 0;
  virtual void ProcessPendingEvents() = 0;
  // Opens the help file with a viewer command and its data value.
  virtual void ShowHelp(const std::string& helpFile, uint32_t command, uintptr_t data) = 0;
  // Hands a web address, a "mailto:" address or a file URL to the desktop; false when the
  // desktop has nothing to open it with.
  virtual bool ShellOpen(const std::string& target) = 0;
  virtual std::string ExePath() const = 0;
  virtual RegionalSettings Regional() const = 0;
};

}  // namespace plexor
