// The .prj beside a shapefile: which catalogue entry its coordinate system is, if any, and
// whether the data's extent fits the entry the user chose.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plexor {

// What a .prj says. Found: Index is a catalogue entry (0 to 40) and Description names the
// system for the user. Not found: Reason says why. Both texts are UTF-8.
struct TPrjMatch {
  bool Found = false;
  int Index = -1;
  std::string Description;  // e.g. "JGD2011 / 平面直角座標系 第9系 (EPSG:6677)"
  std::string Reason;
};

// A real .prj is well under 2 KiB; anything larger is refused unread.
inline constexpr size_t kMaxPrjBytes = 64 * 1024;

// Reads ESRI or OGC WKT1 (and plain WKT2) and maps it to the catalogue. Tokyo gives 0 and
// 3 to 21, JGD2000 and JGD2011 give 2 and 22 to 40, WGS 84 geographic gives 1. Never
// throws on bad text: garbage, truncation, excessive size or nesting give a Reason.
TPrjMatch MatchPrjText(std::string_view wkt);

// The .prj beside the .shp; a sibling differing only in the case of the extension is taken
// when the lower-case name does not exist.
std::string PrjPathOf(const std::string& shpPath);
// nullopt when there is no .prj; an unreadable or oversized one is a match with a Reason.
std::optional<TPrjMatch> ReadPrjBeside(const std::string& shpPath);

// How far beyond ±180/±90 an extent may reach and still count as degrees.
inline constexpr double kDegreesRoundingNoise = 1e-9;

// Empty when the extent is plausible for the entry; otherwise a warning for the user: a
// geographic entry whose extent leaves ±180/±90 (beyond rounding noise), or a plane entry
// whose extent lies entirely inside it (degrees labelled as metres). An all-zero or NaN
// extent (no shapes) gives no warning, nor does an entry that `prj` (the .prj beside the
// data, when there is one) names itself.
std::string BoundsWarning(int index, double xmin, double ymin, double xmax, double ymax,
                          const TPrjMatch* prj = nullptr);

// Empty unless the .prj was recognised as an entry other than `chosen`.
std::string PrjDisagreementWarning(int chosen, const TPrjMatch& match);

}  // namespace plexor
