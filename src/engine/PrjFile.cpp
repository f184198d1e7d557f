#include "engine/PrjFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "engine/CoordSys.h"
#include "engine/Wkt.h"
#include "support/ByteStrings.h"
#include "support/FileHandle.h"
#include "support/InputFile.h"
#include "support/ZipArchive.h"

namespace plexor {
namespace {

// --- The systems the catalogue knows -----------------------------------------------------

constexpr double kDegree = 0.0174532925199433;  // radians, as WKT states it
constexpr double kOriginTolerance = 1e-5;       // degrees
constexpr int kZoneCount = 19;

struct DatumInfo {
  const char* Label;           // as the description shows it
  int DatumCode;               // EPSG datum
  int GeographicCode;          // EPSG geographic system
  int FirstZoneCode;           // EPSG code of zone I; 0 when there are none
  int GeographicEntry;         // catalogue entry of the geographic system
  int FirstZoneEntry;          // catalogue entry of zone I; -1 when the catalogue has none
  double SemiMajorAxis;        // metres
  double InverseFlattening;    // GRS 1980 and WGS 84 differ only in the sixth decimal
  const char* Names[7];        // datum spellings after NormalName; unused slots null
  const char* SystemNames[3];  // geographic system spellings after NormalName, "GCS" dropped
};

// The spellings of ESRI, GDAL (OGC and its ESRI morphing), PROJ's WKT2 and other writers.
constexpr DatumInfo kDatums[] = {
    {"Tokyo",
     6301,
     4301,
     30161,
     0,
     3,
     6377397.155,
     299.1528128,
     {"TOKYO", "TOKYODATUM", "TOKYO1918", "TOKYOJAPAN"},
     {"TOKYO"}},
    {"JGD2000",
     6612,
     4612,
     2443,
     2,
     22,
     6378137,
     298.257222101,
     {"JGD2000", "JAPANESEGEODETICDATUM2000", "JAPANGEODETICDATUM2000"},
     {"JGD2000"}},
    {"JGD2011",
     1128,
     6668,
     6669,
     2,
     22,
     6378137,
     298.257222101,
     {"JGD2011", "JAPANESEGEODETICDATUM2011", "JAPANGEODETICDATUM2011"},
     {"JGD2011"}},
    {"WGS 84",
     6326,
     4326,
     0,
     1,
     -1,
     6378137,
     298.257223563,
     {"WGS1984", "WGS84", "WORLDGEODETICSYSTEM1984", "WORLDGEODETICSYSTEM1984ENSEMBLE",
      "WGS84ENSEMBLE", "WGS1984ENSEMBLE"},
     {"WGS1984", "WGS84"}},
};

struct ZoneOrigin {
  double Lat;
  double Lon;
};

// The origins of zones I to XIX; minutes are written as such so the sixths stay exact.
constexpr ZoneOrigin kZones[kZoneCount] = {
    {33, 129.5},
    {33, 131},
    {36, 132 + 10 / 60.0},
    {33, 133.5},
    {36, 134 + 20 / 60.0},
    {36, 136},
    {36, 137 + 10 / 60.0},
    {36, 138.5},
    {36, 139 + 50 / 60.0},
    {40, 140 + 50 / 60.0},
    {44, 140.25},
    {44, 142.25},
    {44, 144.25},
    {26, 142},
    {26, 127.5},
    {26, 124},
    {26, 131},
    {20, 136},
    {26, 154},
};

// Transverse Mercator parameters; absent ones keep the defaults WKT1 gives them.
struct TmParameters {
  double Lat = 0;
  double Lon = 0;
  double Scale = 1;
  double FalseEasting = 0;
  double FalseNorthing = 0;
};

// --- Messages ----------------------------------------------------------------------------

constexpr const char* kTooLargeText = "座標系ファイルが大きすぎます (64 KiB 超)";
constexpr const char* kUnreadableText = "座標系ファイルを読み込めません: ";
constexpr const char* kUnparsableText = "座標系の定義を読み取れません: ";
constexpr const char* kUnsupportedKindText = "対応していない座標系の種類です: ";
constexpr const char* kNoDatumText = "測地系が指定されていません";
constexpr const char* kUnsupportedDatumText = "測地系が対応していません: ";
constexpr const char* kEllipsoidMismatchText = "楕円体が測地系と一致しません: ";
constexpr const char* kPrimeMeridianText = "本初子午線がグリニッジではありません: ";
constexpr const char* kNoUnitText = "単位が指定されていません";
constexpr const char* kNotDegreesText = "角度の単位が度ではありません: ";
constexpr const char* kNotMetresText = "長さの単位がメートルではありません: ";
constexpr const char* kNoMethodText = "投影法が指定されていません";
constexpr const char* kNotTransverseMercatorText = "投影法が横メルカトルではありません: ";
constexpr const char* kNoZoneText = "投影法が平面直角座標系のどの系とも一致しません";
constexpr const char* kNoWgs84ZoneText = "WGS 84 の平面直角座標系には対応していません";
constexpr const char* kBeyondDegreesText =
    "座標の範囲が緯度経度 (±180°, ±90°) を超えています。緯度経度ではない座標系のデータかも"
    "しれません。";
constexpr const char* kLooksLikeDegreesText =
    "座標の範囲がすべて ±180, ±90 以内で、緯度経度のように見えます。平面直角座標系で正しいか"
    "確認してください。";

TPrjMatch NoMatch(std::string reason);
TPrjMatch MatchCrs(const WktNode& root);
std::string Shown(std::string_view name);

}  // namespace

// --- Public routines ---------------------------------------------------------------------

TPrjMatch MatchPrjText(std::string_view wkt) {
  if (wkt.size() > kMaxPrjBytes) return NoMatch(kTooLargeText);
  std::string error;
  const std::optional<WktNode> root = ParseWkt(wkt, error);
  if (!root) return NoMatch(kUnparsableText + error);
  return MatchCrs(*root);
}

std::string PrjPathOf(const std::string& shpPath) {
  return FindInputCaseVariant(ChangeFileExt(shpPath, ".prj"));
}

std::optional<TPrjMatch> ReadPrjBeside(const std::string& shpPath) {
  const std::string path = PrjPathOf(shpPath);
  if (!InputFileExists(path)) return std::nullopt;
  InputFile file;
  if (!file.OpenRead(path)) return NoMatch(kUnreadableText + file.LastError());
  const int64_t size = file.Size();
  if (size < 0) return NoMatch(kUnreadableText + file.LastError());
  if (static_cast<uint64_t>(size) > kMaxPrjBytes) return NoMatch(kTooLargeText);
  std::string text(static_cast<size_t>(size), '\0');
  size_t have = 0;
  try {
    while (have < text.size()) {
      const int64_t got = file.ReadAt(static_cast<int64_t>(have), &text[have], text.size() - have);
      if (got < 0) return NoMatch(kUnreadableText + file.LastError());
      if (got == 0) break;  // shrank since Size(): read what is there
      have += static_cast<size_t>(got);
    }
  } catch (const EArchiveError& e) {
    return NoMatch(kUnreadableText + e.Message());
  }
  text.resize(have);
  return MatchPrjText(text);
}

std::string BoundsWarning(int index, double xmin, double ymin, double xmax, double ymax,
                          const TPrjMatch* prj) {
  if (index < 0 || index >= kCoordSysCount) return {};
  // The file's own .prj names this very entry: the extent cannot overrule what the writer
  // stated, and "-c auto" took the entry from it.
  if (prj && prj->Found && prj->Index == index) return {};
  if (std::isnan(xmin) || std::isnan(ymin) || std::isnan(xmax) || std::isnan(ymax)) return {};
  // World data reaches the limits up to the rounding of whoever computed the box.
  constexpr double kLon = 180 + kDegreesRoundingNoise;
  constexpr double kLat = 90 + kDegreesRoundingNoise;
  const bool inDegrees = std::fabs(xmin) <= kLon && std::fabs(xmax) <= kLon &&
                         std::fabs(ymin) <= kLat && std::fabs(ymax) <= kLat;
  if (index <= 2) return inDegrees ? "" : kBeyondDegreesText;
  // A file without shapes has an all-zero extent, which says nothing about units.
  const bool empty = xmin == 0 && ymin == 0 && xmax == 0 && ymax == 0;
  return inDegrees && !empty ? kLooksLikeDegreesText : "";
}

std::string PrjDisagreementWarning(int chosen, const TPrjMatch& match) {
  if (!match.Found || match.Index == chosen) return {};
  const std::string chosenText = GetCoordSysDisplayText(chosen);
  if (chosenText.empty()) return {};
  return "選択した座標系「" + chosenText + "」は .prj ファイルの座標系「" + match.Description +
         "」と異なります。";
}

namespace {

bool Listed(const std::string& name, const char* const* spellings, size_t count) {
  if (name.empty()) return false;
  for (size_t i = 0; i < count && spellings[i]; ++i) {
    if (name == spellings[i]) return true;
  }
  return false;
}

const WktNode* DatumOf(const WktNode& geographic) {
  return Child(geographic, {"DATUM", "GEODETICDATUM", "TRF", "ENSEMBLE"});
}

// The datum node's EPSG code, then its name; failing both, the geographic system's code,
// then (for a datum without a name) the system's name.
const DatumInfo* FindDatum(const WktNode& geographic) {
  const WktNode* datum = DatumOf(geographic);
  const int datumCode = datum ? EpsgCodeOf(*datum) : 0;
  const std::string name = datum ? NormalName(NameOf(*datum)) : std::string();
  const int geographicCode = EpsgCodeOf(geographic);
  std::string systemName = NormalName(NameOf(geographic));
  if (systemName.rfind("GCS", 0) == 0) systemName.erase(0, 3);  // ESRI's "GCS_"
  for (const DatumInfo& info : kDatums) {
    if (datumCode != 0 && datumCode == info.DatumCode) return &info;
  }
  for (const DatumInfo& info : kDatums) {
    if (Listed(name, info.Names, std::size(info.Names))) return &info;
  }
  for (const DatumInfo& info : kDatums) {
    if (geographicCode == info.GeographicCode) return &info;
  }
  // A datum named but unknown is another datum, whatever the system is called; only a
  // datum left unnamed lets the system's name decide.
  const bool unnamed = name.empty() || name == "UNKNOWN" || name == "UNNAMED" ||
                       name == "UNDEFINED" || name == "NOTSPECIFIED";
  for (const DatumInfo& info : kDatums) {
    if (unnamed && Listed(systemName, info.SystemNames, std::size(info.SystemNames))) return &info;
  }
  return nullptr;
}

const WktNode* EllipsoidOf(const WktNode& geographic) {
  const WktNode* datum = DatumOf(geographic);
  return datum ? Child(*datum, {"SPHEROID", "ELLIPSOID"}) : nullptr;
}

// The shortest text that reads back as `value`, without an exponent for the numbers a
// .prj holds.
std::string NumberText(double value) {
  char buffer[64];
  const auto format =
      std::fabs(value) < 1e15 ? std::chars_format::fixed : std::chars_format::general;
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string DatumNameOf(const WktNode& geographic) {
  const WktNode* datum = DatumOf(geographic);
  std::string text = Shown(datum ? NameOf(*datum) : NameOf(geographic));
  if (const WktNode* ellipsoid = EllipsoidOf(geographic)) {
    text += " (楕円体 " + Shown(NameOf(*ellipsoid)) + ")";
  }
  return text;
}

bool Near(double value, double target, double tolerance) {
  return std::fabs(value - target) <= tolerance;
}

// --- Matching ----------------------------------------------------------------------------

TPrjMatch NoMatch(std::string reason) {
  TPrjMatch match;
  match.Reason = std::move(reason);
  return match;
}

TPrjMatch Found(int index, std::string description) {
  TPrjMatch match;
  match.Found = true;
  match.Index = index;
  match.Description = std::move(description);
  return match;
}

// An empty text when the geographic system's datum, prime meridian and (when `unitNeeded`)
// angular unit fit; otherwise the reason. `datum` is set when the datum is known.
std::string CheckGeographic(const WktNode& geographic, bool unitNeeded, const DatumInfo*& datum) {
  datum = FindDatum(geographic);
  if (!datum) return kUnsupportedDatumText + DatumNameOf(geographic);
  // A name or code says which datum; the ellipsoid's numbers must not say another. The
  // tolerance takes GRS 1980 for WGS 84 and rounded numbers, never Bessel 1841 for either.
  const WktNode* ellipsoid = EllipsoidOf(geographic);
  const WktNode* lengthUnit = ellipsoid ? Child(*ellipsoid, {"LENGTHUNIT", "UNIT"}) : nullptr;
  const double metres = lengthUnit && !std::isnan(FactorOf(lengthUnit)) ? FactorOf(lengthUnit) : 1;
  if (ellipsoid && ellipsoid->Numbers.size() >= 2 &&
      (!Near(ellipsoid->Numbers[0] * metres, datum->SemiMajorAxis, 1) ||
       !Near(ellipsoid->Numbers[1], datum->InverseFlattening, 1e-4))) {
    return kEllipsoidMismatchText + Shown(NameOf(*ellipsoid)) + " (" +
           NumberText(ellipsoid->Numbers[0]) + ", " + NumberText(ellipsoid->Numbers[1]) +
           ") は測地系 " + datum->Label + " のものではありません";
  }
  const WktNode* primem = Child(geographic, {"PRIMEM", "PRIMEMERIDIAN"});
  if (primem && !primem->Numbers.empty() && !Near(primem->Numbers[0], 0, 1e-9)) {
    return kPrimeMeridianText + Shown(NameOf(*primem));
  }
  if (!unitNeeded) return {};
  const WktNode* unit = UnitOf(geographic, {"UNIT", "ANGLEUNIT"});
  if (!unit) return kNoUnitText;
  if (!Near(FactorOf(unit) / kDegree, 1, 1e-9)) return kNotDegreesText + Shown(NameOf(*unit));
  return {};
}

TPrjMatch MatchGeographic(const WktNode& crs) {
  const DatumInfo* datum = nullptr;
  const std::string reason = CheckGeographic(crs, true, datum);
  if (!reason.empty()) return NoMatch(reason);
  return Found(datum->GeographicEntry, std::string(datum->Label) + " / 緯度経度 (EPSG:" +
                                           std::to_string(datum->GeographicCode) + ")");
}

bool IsTransverseMercator(const WktNode& method) {
  if (EpsgCodeOf(method) == 9807) return true;
  const std::string name = NormalName(NameOf(method));
  return name == "TRANSVERSEMERCATOR" || name == "GAUSSKRUGER";
}

// An angle in degrees: a WKT2 parameter carries its unit, a WKT1 one is in the unit of the
// base geographic system.
double DegreesOf(const WktNode& parameter, double baseFactor) {
  const WktNode* unit = Child(parameter, {"ANGLEUNIT", "UNIT"});
  const double factor = unit ? FactorOf(unit) : baseFactor;
  return parameter.Numbers[0] * factor / kDegree;
}

// WKT1 lists the parameters beside PROJECTION, WKT2 inside CONVERSION; each is known by its
// EPSG code or by one of its usual names.
TmParameters ReadTmParameters(const WktNode& holder, double baseFactor) {
  TmParameters p;
  for (const WktNode& param : holder.Children) {
    if (param.Keyword != "PARAMETER" || param.Numbers.empty()) continue;
    const int code = EpsgCodeOf(param);
    const std::string name = NormalName(NameOf(param));
    if (code == 8801 || name == "LATITUDEOFORIGIN" || name == "LATITUDEOFNATURALORIGIN") {
      p.Lat = DegreesOf(param, baseFactor);
    } else if (code == 8802 || name == "CENTRALMERIDIAN" || name == "LONGITUDEOFNATURALORIGIN") {
      p.Lon = DegreesOf(param, baseFactor);
    } else if (code == 8805 || name == "SCALEFACTOR" || name == "SCALEFACTORATNATURALORIGIN") {
      p.Scale = param.Numbers[0];
    } else if (code == 8806 || name == "FALSEEASTING") {
      p.FalseEasting = param.Numbers[0];
    } else if (code == 8807 || name == "FALSENORTHING") {
      p.FalseNorthing = param.Numbers[0];
    }
  }
  return p;
}

// Zone 0 to 18, or -1.
int FindZone(const TmParameters& p) {
  if (!Near(p.Scale, 0.9999, 1e-8) || !Near(p.FalseEasting, 0, 1e-3) ||
      !Near(p.FalseNorthing, 0, 1e-3)) {
    return -1;
  }
  for (int zone = 0; zone < kZoneCount; ++zone) {
    if (Near(p.Lat, kZones[zone].Lat, kOriginTolerance) &&
        Near(p.Lon, kZones[zone].Lon, kOriginTolerance)) {
      return zone;
    }
  }
  return -1;
}

// An empty text with `zone` (0 to 18) set when the projection is a zone in metres;
// otherwise the reason.
std::string FindProjectedZone(const WktNode& crs, const WktNode& base, int& zone) {
  const WktNode* unit = UnitOf(crs, {"UNIT", "LENGTHUNIT"});
  if (!unit) return kNoUnitText;
  if (!Near(FactorOf(unit), 1, 1e-9)) return kNotMetresText + Shown(NameOf(*unit));
  const WktNode* conversion = Child(crs, {"CONVERSION", "DERIVINGCONVERSION"});
  const WktNode& holder = conversion ? *conversion : crs;
  const WktNode* method = Child(holder, {"PROJECTION", "METHOD", "PROJECTIONMETHOD"});
  if (!method) return kNoMethodText;
  if (!IsTransverseMercator(*method)) return kNotTransverseMercatorText + Shown(NameOf(*method));
  const WktNode* baseUnit = Child(base, {"UNIT", "ANGLEUNIT"});
  const double baseFactor = baseUnit ? FactorOf(baseUnit) : kDegree;
  const TmParameters p = ReadTmParameters(holder, baseFactor);
  zone = FindZone(p);
  if (zone >= 0) return {};
  // Say which number is off: the user compares it with the zone they expected.
  if (!Near(p.Scale, 0.9999, 1e-8))
    return kNoZoneText + (" (縮尺係数 " + NumberText(p.Scale) + ")");
  if (!Near(p.FalseEasting, 0, 1e-3) || !Near(p.FalseNorthing, 0, 1e-3)) {
    return kNoZoneText + (" (偽東距 " + NumberText(p.FalseEasting) + ", 偽北距 " +
                          NumberText(p.FalseNorthing) + ")");
  }
  return kNoZoneText + (" (原点 緯度 " + NumberText(p.Lat) + ", 経度 " + NumberText(p.Lon) + ")");
}

TPrjMatch MatchProjected(const WktNode& crs) {
  const WktNode* base = Child(crs, {"GEOGCS", "BASEGEOGCRS", "BASEGEODCRS", "GEOGCRS"});
  if (!base) return NoMatch(kNoDatumText);
  const DatumInfo* datum = nullptr;
  std::string reason = CheckGeographic(*base, false, datum);
  if (!reason.empty()) return NoMatch(reason);
  int zone = -1;
  reason = FindProjectedZone(crs, *base, zone);
  if (!reason.empty()) return NoMatch(reason);
  if (datum->FirstZoneEntry < 0) return NoMatch(kNoWgs84ZoneText);
  return Found(datum->FirstZoneEntry + zone,
               std::string(datum->Label) + " / 平面直角座標系 第" + std::to_string(zone + 1) +
                   "系 (EPSG:" + std::to_string(datum->FirstZoneCode + zone) + ")");
}

// The catalogue entry an EPSG code names; -1 for codes outside the catalogue.
int EntryOfEpsgCode(int code) {
  for (const DatumInfo& info : kDatums) {
    if (code == info.GeographicCode) return info.GeographicEntry;
    if (info.FirstZoneCode != 0 && code >= info.FirstZoneCode &&
        code < info.FirstZoneCode + kZoneCount) {
      return info.FirstZoneEntry + (code - info.FirstZoneCode);
    }
  }
  return -1;
}

// A stated code naming another entry than the definition means the file was edited by
// hand or written wrongly; neither is to be trusted over the other.
TPrjMatch CheckStatedCode(const WktNode& crs, TPrjMatch match) {
  const int code = EpsgCodeOf(crs);
  const int entry = EntryOfEpsgCode(code);
  if (!match.Found || entry < 0 || entry == match.Index) return match;
  return NoMatch("EPSG コード (EPSG:" + std::to_string(code) + ") と定義の内容が一致しません");
}

TPrjMatch MatchCrs(const WktNode& root) {
  const WktNode* crs = HorizontalCrs(root, 0);
  if (!crs) return NoMatch(kUnsupportedKindText + Shown(root.Keyword));
  return CheckStatedCode(*crs, IsProjected(*crs) ? MatchProjected(*crs) : MatchGeographic(*crs));
}

// --- Names from the file in messages -----------------------------------------------------

// The length of the UTF-8 sequence starting at `at`; 0 when it is malformed.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto c = static_cast<unsigned char>(text[at]);
  size_t n = 0;
  if (c < 0x80) {
    n = 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
  }
  if (n == 0 || at + n > text.size()) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

bool IsUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t n = Utf8SequenceLength(text, at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

// A name read from the file, fit for a message: UTF-8 (a Windows writer may have left code
// page 932), no control bytes, and short whatever the file holds.
std::string Shown(std::string_view name) {
  constexpr size_t kMaxShown = 60;
  if (name.empty()) return "(名前なし)";
  const std::string text = IsUtf8(name) ? std::string(name) : Cp932ToUtf8(name);
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const size_t n = std::max<size_t>(Utf8SequenceLength(text, at), 1);
    if (out.size() + n > kMaxShown) return out + "…";
    const auto c = static_cast<unsigned char>(text[at]);
    out.append(c < 32 || c == 127 ? std::string_view("?") : std::string_view(text).substr(at, n));
    at += n;
  }
  return out;
}

}  // namespace
}  // namespace plexor
