// The program's own version and location, the processors it may use, and the main window's
// placement file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/ByteStrings.h"  // GetFileDir, GetFileBaseName

namespace plexor {

// The version text of the build, four dot-separated numbers; empty when the build gave none.
std::string GetExeFileVersion();
// The running executable's full path.
std::string GetExePath();
// GetFileDir of GetExePath().
std::string GetExeDir();

// --- Processors ---------------------------------------------------------------------------

// The processors this process may run on, and how many of them other work left idle at the
// moment of the call. A snapshot: it tells whether a second thread started now would have a
// processor to itself or would take turns with someone else's work.
struct TProcessors {
  int Usable = 1;
  int Idle = 1;
};
TProcessors CurrentProcessors();

// The count of runnable threads in the text of Linux's /proc/loadavg ("0.52 0.58 0.59 3/211
// 4711": 3, the reader among them); nothing when the text is not of that form.
std::optional<int> RunnableFromLoadavg(std::string_view text);

// --- Window placement ---------------------------------------------------------------------

inline constexpr const char* kPlacementSection = "Window";

// The placement as stored: outer bounds in screen pixels and the state code
// (0 normal, 1 maximized, 2 minimized). The member defaults are the ones for missing keys.
struct TWindowPlacement {
  int32_t Left = 20;
  int32_t Top = 20;
  int32_t Width = 700;
  int32_t Height = 500;
  int32_t State = 0;
};

// Where the placement of the program at `exePath` is kept: the "<base name>.INI" beside it
// when that file exists and may be written (a copy carried around on a stick keeps its own
// placement), otherwise plexor-converter.INI in the user's configuration folder
// ($XDG_CONFIG_HOME, or ~/.config when that is unset).
std::string WindowPlacementIniPath(const std::string& exePath);

// Missing or malformed values take the defaults; a state other than 0, 1 or 2 reads as 0.
TWindowPlacement ReadWindowPlacement(const std::string& iniPath);
// Writes Left, Top, Width and Height only for the normal state, then State, so that a
// window closed maximized keeps the bounds of its last normal close. Creates the folder
// when it is missing. EIniFileError "%s に書き込めません" stops at the failing key.
void WriteWindowPlacement(const std::string& iniPath, const TWindowPlacement& placement);

}  // namespace plexor
