#include "ui/Placement.h"

#include "support/ByteStrings.h"
#include "support/ProfileFile.h"
#include "support/QvSysUtils.h"

namespace plexor {
namespace {

TWindowState StateOfCode(int32_t code) {
  if (code == 1) return TWindowState::Maximized;
  if (code == 2) return TWindowState::Minimized;
  return TWindowState::Normal;
}

int32_t CodeOfState(TWindowState state) {
  if (state == TWindowState::Maximized) return 1;
  if (state == TWindowState::Minimized) return 2;
  return 0;
}

}  // namespace

void RestorePlacement(IMainView& view, const std::string& iniPath) {
  const TWindowPlacement p = ReadWindowPlacement(iniPath);
  // The position is taken as it stands, even off every screen: the user put it there.
  view.PlaceWindow({p.Left, p.Top, p.Width, p.Height}, StateOfCode(p.State));
}

void SavePlacement(const IMainView& view, const std::string& iniPath,
                   const std::string& dateFormat) {
  TWindowPlacement p;
  p.State = CodeOfState(view.WindowState());
  if (p.State == 0) {
    const TWindowBounds outer = view.OuterBounds();
    p = {outer.Left, outer.Top, outer.Width, outer.Height, 0};
  }
  WriteWindowPlacement(iniPath, p);
  TProfileFile(iniPath).WriteString(kPlacementSection, kDateFormatKey, dateFormat);
}

std::string ReadDateFormat(const std::string& iniPath) {
  const std::string format =
      TProfileFile(iniPath).ReadString(kPlacementSection, kDateFormatKey, kDateFormatSlashed);
  return SameTextAscii(format, kDateFormatCompact) ? kDateFormatCompact : kDateFormatSlashed;
}

}  // namespace plexor
