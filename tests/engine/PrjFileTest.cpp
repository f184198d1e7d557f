#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "engine/CoordSys.h"
#include "engine/PrjFile.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

// Texts below were written by gdalsrsinfo (GDAL 3.6.2, PROJ database) on this machine.

constexpr const char* kTokyoZone9Wkt1 = R"wkt(PROJCS["Tokyo / Japan Plane Rectangular CS IX",
    GEOGCS["Tokyo",
        DATUM["Tokyo",
            SPHEROID["Bessel 1841",6377397.155,299.1528128,
                AUTHORITY["EPSG","7004"]],
            AUTHORITY["EPSG","6301"]],
        PRIMEM["Greenwich",0,
            AUTHORITY["EPSG","8901"]],
        UNIT["degree",0.0174532925199433,
            AUTHORITY["EPSG","9122"]],
        AUTHORITY["EPSG","4301"]],
    PROJECTION["Transverse_Mercator"],
    PARAMETER["latitude_of_origin",36],
    PARAMETER["central_meridian",139.833333333333],
    PARAMETER["scale_factor",0.9999],
    PARAMETER["false_easting",0],
    PARAMETER["false_northing",0],
    UNIT["metre",1,
        AUTHORITY["EPSG","9001"]],
    AXIS["Northing",NORTH],
    AXIS["Easting",EAST],
    AUTHORITY["EPSG","30169"]]
)wkt";

constexpr const char* kJgd2011Zone9Esri =
    R"wkt(PROJCS["JGD_2011_Japan_Zone_9",GEOGCS["GCS_JGD_2011",DATUM["D_JGD_2011",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",139.833333333333],PARAMETER["Scale_Factor",0.9999],PARAMETER["Latitude_Of_Origin",36.0],UNIT["Meter",1.0]])wkt";

constexpr const char* kTokyoZone1Wkt2 =
    R"wkt(PROJCRS["Tokyo / Japan Plane Rectangular CS I",BASEGEOGCRS["Tokyo",DATUM["Tokyo",ELLIPSOID["Bessel 1841",6377397.155,299.1528128,LENGTHUNIT["metre",1]]],PRIMEM["Greenwich",0,ANGLEUNIT["degree",0.0174532925199433]],ID["EPSG",4301]],CONVERSION["Japan Plane Rectangular CS zone I",METHOD["Transverse Mercator",ID["EPSG",9807]],PARAMETER["Latitude of natural origin",33,ANGLEUNIT["degree",0.0174532925199433],ID["EPSG",8801]],PARAMETER["Longitude of natural origin",129.5,ANGLEUNIT["degree",0.0174532925199433],ID["EPSG",8802]],PARAMETER["Scale factor at natural origin",0.9999,SCALEUNIT["unity",1],ID["EPSG",8805]],PARAMETER["False easting",0,LENGTHUNIT["metre",1],ID["EPSG",8806]],PARAMETER["False northing",0,LENGTHUNIT["metre",1],ID["EPSG",8807]]],CS[Cartesian,2],AXIS["northing (X)",north,ORDER[1],LENGTHUNIT["metre",1]],AXIS["easting (Y)",east,ORDER[2],LENGTHUNIT["metre",1]],USAGE[SCOPE["Cadastre, engineering survey, topographic mapping (large and medium scale)."],AREA["Japan - onshore - Kyushu west of approximately 130°E - Nagasaki-ken; islands of Kagoshima-ken between 27°N and 32°N and between 128°18'E and 130°E (between 128°18'E and 30°13'E for Amami islands)."],BBOX[26.96,128.17,34.74,130.46]],ID["EPSG",30161]])wkt";

constexpr const char* kUtm54Wkt1 =
    R"wkt(PROJCS["WGS 84 / UTM zone 54N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,AUTHORITY["EPSG","7030"]],AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4326"]],PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",141],PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1,AUTHORITY["EPSG","9001"]],AXIS["Easting",EAST],AXIS["Northing",NORTH],AUTHORITY["EPSG","32654"]])wkt";

constexpr const char* kWebMercatorEsri =
    R"wkt(PROJCS["WGS_1984_Web_Mercator_Auxiliary_Sphere",GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Mercator_Auxiliary_Sphere"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",0.0],PARAMETER["Standard_Parallel_1",0.0],PARAMETER["Auxiliary_Sphere_Type",0.0],UNIT["Meter",1.0]])wkt";

// The zones as gdalsrsinfo writes them differ only in name, origin and code, so they are
// built from the pieces below; the result was compared byte for byte with its output for
// all 57 codes in both forms.
struct DatumCase {
  const char* CrsName;
  const char* Geogcs;
  const char* EsriPrefix;
  const char* EsriGeogcs;
  int FirstCode;
  int FirstEntry;
};

const DatumCase kDatumCases[] = {
    {"Tokyo",
     R"wkt(GEOGCS["Tokyo",DATUM["Tokyo",SPHEROID["Bessel 1841",6377397.155,299.1528128,AUTHORITY["EPSG","7004"]],AUTHORITY["EPSG","6301"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4301"]])wkt",
     "Japan_Zone_",
     R"wkt(GEOGCS["GCS_Tokyo",DATUM["D_Tokyo",SPHEROID["Bessel_1841",6377397.155,299.1528128]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])wkt",
     30161, 3},
    {"JGD2000",
     R"wkt(GEOGCS["JGD2000",DATUM["Japanese_Geodetic_Datum_2000",SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]],AUTHORITY["EPSG","6612"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4612"]])wkt",
     "JGD_2000_Japan_Zone_",
     R"wkt(GEOGCS["GCS_JGD_2000",DATUM["D_JGD_2000",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])wkt",
     2443, 22},
    {"JGD2011",
     R"wkt(GEOGCS["JGD2011",DATUM["Japanese_Geodetic_Datum_2011",SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]],AUTHORITY["EPSG","1128"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","6668"]])wkt",
     "JGD_2011_Japan_Zone_",
     R"wkt(GEOGCS["GCS_JGD_2011",DATUM["D_JGD_2011",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])wkt",
     6669, 22},
};

struct ZoneCase {
  const char* Roman;
  const char* Lat;
  const char* Lon;
};

const ZoneCase kZoneCases[19] = {
    {"I", "33", "129.5"},
    {"II", "33", "131"},
    {"III", "36", "132.166666666667"},
    {"IV", "33", "133.5"},
    {"V", "36", "134.333333333333"},
    {"VI", "36", "136"},
    {"VII", "36", "137.166666666667"},
    {"VIII", "36", "138.5"},
    {"IX", "36", "139.833333333333"},
    {"X", "40", "140.833333333333"},
    {"XI", "44", "140.25"},
    {"XII", "44", "142.25"},
    {"XIII", "44", "144.25"},
    {"XIV", "26", "142"},
    {"XV", "26", "127.5"},
    {"XVI", "26", "124"},
    {"XVII", "26", "131"},
    {"XVIII", "20", "136"},
    {"XIX", "26", "154"},
};

std::string ZoneWkt1(const DatumCase& d, int zone) {
  const ZoneCase& z = kZoneCases[zone];
  return std::string("PROJCS[\"") + d.CrsName + " / Japan Plane Rectangular CS " + z.Roman + "\"," +
         d.Geogcs + ",PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\"," +
         z.Lat + "],PARAMETER[\"central_meridian\"," + z.Lon +
         "],PARAMETER[\"scale_factor\",0.9999],PARAMETER[\"false_easting\",0],PARAMETER["
         "\"false_northing\",0],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],AXIS["
         "\"Northing\",NORTH],AXIS[\"Easting\",EAST],AUTHORITY[\"EPSG\",\"" +
         std::to_string(d.FirstCode + zone) + "\"]]";
}

std::string EsriNumber(std::string text) {
  return text.find('.') == std::string::npos ? text + ".0" : text;
}

std::string ZoneEsri(const DatumCase& d, int zone) {
  const ZoneCase& z = kZoneCases[zone];
  return std::string("PROJCS[\"") + d.EsriPrefix + std::to_string(zone + 1) + "\"," + d.EsriGeogcs +
         ",PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",0.0],PARAMETER["
         "\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\"," +
         EsriNumber(z.Lon) +
         "],PARAMETER[\"Scale_Factor\",0.9999],PARAMETER[\"Latitude_Of_Origin\"," +
         EsriNumber(z.Lat) + "],UNIT[\"Meter\",1.0]]";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

void ExpectEntry(const std::string& wkt, int index, const std::string& description = "") {
  const TPrjMatch m = MatchPrjText(wkt);
  EXPECT_TRUE(m.Found) << m.Reason << "\n" << wkt;
  EXPECT_EQ(m.Index, index) << wkt;
  EXPECT_TRUE(m.Reason.empty());
  if (!description.empty()) {
    EXPECT_EQ(m.Description, description);
  }
}

void ExpectReason(const std::string& wkt, const std::string& reasonPart) {
  const TPrjMatch m = MatchPrjText(wkt);
  EXPECT_FALSE(m.Found) << m.Description;
  EXPECT_EQ(m.Index, -1);
  EXPECT_NE(m.Reason.find(reasonPart), std::string::npos) << m.Reason;
}

TEST(PrjZones, EveryZoneOnEveryDatumInBothWkt1Forms) {
  for (const DatumCase& d : kDatumCases) {
    for (int zone = 0; zone < 19; ++zone) {
      const std::string code = "(EPSG:" + std::to_string(d.FirstCode + zone) + ")";
      const std::string name = "第" + std::to_string(zone + 1) + "系 " + code;
      const TPrjMatch ogc = MatchPrjText(ZoneWkt1(d, zone));
      const TPrjMatch esri = MatchPrjText(ZoneEsri(d, zone));
      EXPECT_EQ(ogc.Index, d.FirstEntry + zone) << d.CrsName << " " << zone + 1 << ogc.Reason;
      EXPECT_EQ(esri.Index, d.FirstEntry + zone) << d.CrsName << " " << zone + 1 << esri.Reason;
      EXPECT_NE(ogc.Description.find(name), std::string::npos) << ogc.Description;
      EXPECT_NE(esri.Description.find(name), std::string::npos) << esri.Description;
    }
  }
}

TEST(PrjZones, MultiLineWkt1EsriAndWkt2) {
  ExpectEntry(kTokyoZone9Wkt1, 11, "Tokyo / 平面直角座標系 第9系 (EPSG:30169)");
  ExpectEntry(kJgd2011Zone9Esri, 30, "JGD2011 / 平面直角座標系 第9系 (EPSG:6677)");
  ExpectEntry(kTokyoZone1Wkt2, 3, "Tokyo / 平面直角座標系 第1系 (EPSG:30161)");
  // A byte order mark and trailing NUL padding are left by some writers.
  ExpectEntry("\xEF\xBB\xBF" + std::string(kJgd2011Zone9Esri) + std::string("\r\n\0\0", 4), 30);
}

TEST(PrjZones, OriginIsComparedWithinOneHundredThousandthOfADegree) {
  const std::string esri = kJgd2011Zone9Esri;
  ExpectEntry(Replaced(esri, "139.833333333333", "139.83334"), 30);   // 6.7e-6 off
  ExpectEntry(Replaced(esri, "139.833333333333", "139.833333"), 30);  // as MIF writes it
  ExpectReason(Replaced(esri, "139.833333333333", "139.83335"), "どの系とも一致しません");
  ExpectReason(Replaced(esri, "Latitude_Of_Origin\",36.0", "Latitude_Of_Origin\",36.00002"),
               "どの系とも一致しません");
  ExpectReason(Replaced(esri, "0.9999", "0.9996"), "どの系とも一致しません");
  ExpectReason(Replaced(esri, "False_Easting\",0.0", "False_Easting\",500000.0"),
               "どの系とも一致しません");
}

TEST(PrjZones, ForeignProjectionsUnitsAndDatums) {
  ExpectReason(kUtm54Wkt1, "どの系とも一致しません");
  ExpectReason(kWebMercatorEsri, "横メルカトルではありません: Mercator_Auxiliary_Sphere");
  ExpectReason(
      Replaced(kJgd2011Zone9Esri, "UNIT[\"Meter\",1.0]", "UNIT[\"Foot_US\",0.3048006096012192]"),
      "メートルではありません: Foot_US");
  // The zone's numbers on WGS 84 are no entry of the catalogue.
  ExpectReason(Replaced(kJgd2011Zone9Esri, "D_JGD_2011", "D_WGS_1984"), "WGS 84 の平面直角座標系");
  ExpectReason(Replaced(Replaced(kUtm54Wkt1, "latitude_of_origin\",0", "latitude_of_origin\",36"),
                        "central_meridian\",141", "central_meridian\",139.833333333333"),
               "どの系とも一致しません");  // still 0.9996 and 500 km false easting
  ExpectReason(Replaced(kJgd2011Zone9Esri, "D_JGD_2011", "D_Bogus_1990"),
               "測地系が対応していません: D_Bogus_1990");
  ExpectReason("LOCAL_CS[\"Site\",LOCAL_DATUM[\"x\",0],UNIT[\"metre\",1]]",
               "対応していない座標系の種類です: LOCAL_CS");
}

TEST(PrjZones, StatedEpsgCodeMustAgreeWithTheDefinition) {
  // A JGD2011 code on a JGD2000 definition names the same entry.
  ExpectEntry(Replaced(ZoneWkt1(kDatumCases[1], 8), "\"2451\"", "\"6677\""), 30);
  ExpectReason(Replaced(ZoneWkt1(kDatumCases[1], 8), "\"2451\"", "\"2452\""),
               "EPSG コード (EPSG:2452) と定義の内容が一致しません");
  // A datum known only by its code is still recognised.
  ExpectEntry(Replaced(ZoneWkt1(kDatumCases[2], 0), "Japanese_Geodetic_Datum_2011", "JGD"), 22);
}

TEST(PrjGeographic, TheFourDatumsInEveryForm) {
  ExpectEntry(
      R"wkt(GEOGCS["Tokyo",DATUM["Tokyo",SPHEROID["Bessel 1841",6377397.155,299.1528128,AUTHORITY["EPSG","7004"]],AUTHORITY["EPSG","6301"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","4301"]])wkt",
      0, "Tokyo / 緯度経度 (EPSG:4301)");
  ExpectEntry(
      R"wkt(GEOGCS["JGD2000",DATUM["Japanese_Geodetic_Datum_2000",SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]],AUTHORITY["EPSG","6612"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","4612"]])wkt",
      2, "JGD2000 / 緯度経度 (EPSG:4612)");
  ExpectEntry(
      R"wkt(GEOGCS["JGD2011",DATUM["Japanese_Geodetic_Datum_2011",SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]],AUTHORITY["EPSG","1128"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","6668"]])wkt",
      2, "JGD2011 / 緯度経度 (EPSG:6668)");
  ExpectEntry(
      R"wkt(GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,AUTHORITY["EPSG","7030"]],AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","4326"]])wkt",
      1, "WGS 84 / 緯度経度 (EPSG:4326)");
  for (const DatumCase& d : kDatumCases) ExpectEntry(d.EsriGeogcs, d.FirstEntry == 3 ? 0 : 2);
  ExpectEntry(
      R"wkt(GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])wkt",
      1);
  ExpectEntry(
      R"wkt(GEOGCRS["JGD2011",DATUM["Japanese Geodetic Datum 2011",ELLIPSOID["GRS 1980",6378137,298.257222101,LENGTHUNIT["metre",1]]],PRIMEM["Greenwich",0,ANGLEUNIT["degree",0.0174532925199433]],CS[ellipsoidal,2],AXIS["geodetic latitude (Lat)",north,ORDER[1],ANGLEUNIT["degree",0.0174532925199433]],AXIS["geodetic longitude (Lon)",east,ORDER[2],ANGLEUNIT["degree",0.0174532925199433]],USAGE[SCOPE["Horizontal component of 3D system."],AREA["Japan - onshore and offshore."],BBOX[17.09,122.38,46.05,157.65]],ID["EPSG",6668]])wkt",
      2);
  ExpectEntry(
      R"wkt(GEOGCRS["WGS 84",ENSEMBLE["World Geodetic System 1984 ensemble",MEMBER["World Geodetic System 1984 (Transit)"],MEMBER["World Geodetic System 1984 (G2139)"],ELLIPSOID["WGS 84",6378137,298.257223563,LENGTHUNIT["metre",1]],ENSEMBLEACCURACY[2.0]],PRIMEM["Greenwich",0,ANGLEUNIT["degree",0.0174532925199433]],CS[ellipsoidal,2],AXIS["geodetic latitude (Lat)",north,ORDER[1],ANGLEUNIT["degree",0.0174532925199433]],AXIS["geodetic longitude (Lon)",east,ORDER[2],ANGLEUNIT["degree",0.0174532925199433]],ID["EPSG",4326]])wkt",
      1);
}

TEST(PrjGeographic, ForeignDatumMeridianAndUnit) {
  ExpectReason(
      R"wkt(GEOGCS["GCS_OSGB_1936",DATUM["D_OSGB_1936",SPHEROID["Airy_1830",6377563.396,299.3249646]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])wkt",
      "測地系が対応していません: D_OSGB_1936");
  const std::string tokyo = kDatumCases[0].EsriGeogcs;
  ExpectReason(Replaced(tokyo, "PRIMEM[\"Greenwich\",0.0]", "PRIMEM[\"Paris\",2.33722917]"),
               "グリニッジではありません: Paris");
  ExpectReason(
      Replaced(tokyo, "UNIT[\"Degree\",0.0174532925199433]", "UNIT[\"Grad\",0.0157079632679489]"),
      "度ではありません: Grad");
  ExpectReason(Replaced(tokyo, ",UNIT[\"Degree\",0.0174532925199433]", ""),
               "単位が指定されていません");
}

std::string Geographic(const std::string& name, const std::string& datum,
                       const std::string& spheroid) {
  return "GEOGCS[\"" + name + "\",DATUM[\"" + datum + "\",SPHEROID[\"" + spheroid +
         "]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]";
}

TEST(PrjGeographic, DatumSpellingsOfOtherWritersNotesCodesAndSystemNames) {
  const std::string wgs84 = "WGS 84 [EPSG ID 7030]\",6378137,298.257223563";
  const std::string grs80 = "GRS 1980\",6378137,298.257222101";
  const std::string bessel = "Bessel 1841\",6377397.155,299.1528128";
  // The name with a bracketed EPSG note, as some desktop programs write it.
  ExpectEntry(Geographic("Geographic", "World Geodetic System 1984 [EPSG ID 6326]", wgs84), 1);
  ExpectEntry(Geographic("Geographic", "WGS_1984", wgs84), 1);
  ExpectEntry(Geographic("Geographic", "D_WGS_1984", wgs84), 1);
  ExpectEntry(Geographic("Geographic", "Japan Geodetic Datum 2011", grs80), 2);
  ExpectEntry(Geographic("Geographic", "D_Tokyo_1918", bessel), 0);
  ExpectEntry(Geographic("Geographic", "Tokyo Datum", bessel), 0);
  // Only the note's code names the datum, or only the system's name does.
  ExpectEntry(Geographic("Geographic", "Local name (EPSG:6612)", grs80), 2,
              "JGD2000 / 緯度経度 (EPSG:4612)");
  ExpectEntry(Geographic("GCS_JGD_2011", "unknown", grs80), 2, "JGD2011 / 緯度経度 (EPSG:6668)");
  ExpectEntry(Geographic("WGS 84 [EPSG ID 4326]", "Local name", wgs84), 1);
  ExpectReason(Geographic("GCS_JGD_2011", "Local name", grs80), "測地系が対応していません: Local");
  // The same spellings under a plane zone.
  ExpectEntry(
      Replaced(kJgd2011Zone9Esri, "D_JGD_2011", "Japanese Geodetic Datum 2011 [EPSG ID 1128]"), 30);
}

TEST(PrjGeographic, TheEllipsoidMustFitTheDatumAndAFailureSaysWhichPart) {
  // GRS 1980 and WGS 84 differ in the sixth decimal of the flattening: both fit either.
  ExpectEntry(Geographic("x", "WGS_1984", "GRS 1980\",6378137,298.257222101"), 1);
  ExpectEntry(Geographic("x", "D_JGD_2000", "GRS 1980\",6378137,298.257222"), 2);
  ExpectReason(Geographic("x", "D_Tokyo", "GRS_1980\",6378137,298.257222101"),
               "楕円体が測地系と一致しません: GRS_1980 (6378137, 298.257222101) は測地系 Tokyo");
  ExpectReason(Geographic("x", "JGD2011", "Bessel 1841\",6377397.155,299.1528128"),
               "測地系 JGD2011 のものではありません");
  ExpectReason(Geographic("x", "D_OSGB_1936", "Airy_1830\",6377563.396,299.3249646"),
               "測地系が対応していません: D_OSGB_1936 (楕円体 Airy_1830)");
  const std::string esri = kJgd2011Zone9Esri;
  ExpectReason(Replaced(esri, "0.9999", "0.9996"), "どの系とも一致しません (縮尺係数 0.9996)");
  ExpectReason(Replaced(esri, "False_Easting\",0.0", "False_Easting\",500000.0"),
               "(偽東距 500000, 偽北距 0)");
  ExpectReason(Replaced(esri, "139.833333333333", "139.9"), "(原点 緯度 36, 経度 139.9)");
}

TEST(PrjHostile, GarbageTruncatedHugeAndDeepTextsGiveAReason) {
  ExpectReason("", "定義が空です");
  ExpectReason(" \r\n\t", "定義が空です");
  ExpectReason("hello world", "括弧がありません");
  ExpectReason(std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "先頭がキーワードではありません");
  ExpectReason("GEOGCS[\"x\",1e999]", "数値が不正です");
  ExpectReason("GEOGCS[\"x\"] GEOGCS[\"y\"]", "余分な文字");
  ExpectReason("GEOGCS[\"x\",DATUM[\"Tokyo\")]", "区切りが不正です");
  ExpectReason(std::string(kMaxPrjBytes + 1, ' '), "大きすぎます");
  std::string deep;
  for (int i = 0; i < 100000 && deep.size() < kMaxPrjBytes - 2; ++i) deep += "A[";
  ExpectReason(deep, "入れ子が深すぎます");
  // Every cut of a real text stops short of its closing bracket.
  const std::string whole = kTokyoZone1Wkt2;
  for (size_t n = 0; n < whole.size(); ++n) {
    const TPrjMatch m = MatchPrjText(std::string_view(whole).substr(0, n));
    ASSERT_FALSE(m.Found) << n;
    ASSERT_FALSE(m.Reason.empty()) << n;
  }
}

TEST(PrjHostile, NamesInReasonsAreShortUtf8) {
  const std::string tokyo = kDatumCases[0].EsriGeogcs;
  const TPrjMatch cp932 = MatchPrjText(Replaced(tokyo, "D_Tokyo", "\x93\x8C\x8B\x9E\x31\x38"));
  EXPECT_NE(cp932.Reason.find("東京18"), std::string::npos) << cp932.Reason;
  const TPrjMatch longName = MatchPrjText(Replaced(tokyo, "D_Tokyo", std::string(5000, 'x')));
  EXPECT_LT(longName.Reason.size(), 200u);
  const TPrjMatch control = MatchPrjText(Replaced(tokyo, "D_Tokyo", "a\x1b[2Jb"));
  EXPECT_NE(control.Reason.find("a?[2Jb"), std::string::npos) << control.Reason;
}

class PrjFileBeside : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(PrjFileBeside, FoundInAnyCaseMissingOrUnusable) {
  EXPECT_FALSE(ReadPrjBeside(dir / "none.shp").has_value());
  test::WriteFile(dir / "道路.prj", kJgd2011Zone9Esri);
  const std::optional<TPrjMatch> road = ReadPrjBeside(dir / "道路.shp");
  ASSERT_TRUE(road.has_value());
  EXPECT_EQ(road->Index, 30);

  test::WriteFile(dir / "ROADS.PRJ", kTokyoZone9Wkt1);
  EXPECT_EQ(PrjPathOf(dir / "ROADS.SHP"), dir / "ROADS.PRJ");
  EXPECT_EQ(ReadPrjBeside(dir / "ROADS.SHP")->Index, 11);

  test::WriteFile(dir / "big.prj", std::string(kMaxPrjBytes + 1, 'A'));
  EXPECT_NE(ReadPrjBeside(dir / "big.shp")->Reason.find("大きすぎます"), std::string::npos);
  test::WriteFile(dir / "empty.prj", "");
  EXPECT_FALSE(ReadPrjBeside(dir / "empty.shp")->Found);
}

TEST(PrjBounds, GeographicBeyondDegreesAndPlaneInsideDegreesAreWarned) {
  EXPECT_EQ(BoundsWarning(2, 139.5, 35.1, 140.2, 35.9), "");
  EXPECT_EQ(BoundsWarning(1, -180, -90, 180, 90), "");
  EXPECT_NE(BoundsWarning(0, -12000, -35000, 8000, -30000), "");
  EXPECT_NE(BoundsWarning(2, 139.5, 35.1, 140.2, 91), "");
  EXPECT_EQ(BoundsWarning(30, -12000.5, -35000, 8000, -30000), "");
  EXPECT_EQ(BoundsWarning(30, 10, 20, 200, 40), "");
  EXPECT_NE(BoundsWarning(30, 139.5, 35.1, 140.2, 35.9), "");
  EXPECT_NE(BoundsWarning(3, -1, -1, 1, 1), "");
  // No shapes: nothing to judge.
  EXPECT_EQ(BoundsWarning(30, 0, 0, 0, 0), "");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(BoundsWarning(0, nan, nan, nan, nan), "");
  EXPECT_EQ(BoundsWarning(-1, 1e9, 1e9, 1e9, 1e9), "");
  EXPECT_EQ(BoundsWarning(41, 1, 1, 1, 1), "");
}

TEST(PrjBounds, RoundingNoiseAndTheFilesOwnPrjRaiseNoWarning) {
  // Boxes of world data as writers compute them.
  EXPECT_EQ(BoundsWarning(1, -180.0000000000002, -90.00000000000003, 180.0000000000002, 90), "");
  EXPECT_EQ(BoundsWarning(2, -180, -90 - 1e-10, 180 + 1e-10, 90), "");
  EXPECT_NE(BoundsWarning(1, -180.000001, -90, 180, 90), "");
  EXPECT_NE(BoundsWarning(1, -180, -90, 180, 90.000001), "");
  // A plane zone's data close to the origin lies within ±180 metres; its .prj says so.
  const TPrjMatch zone9 = MatchPrjText(kJgd2011Zone9Esri);
  ASSERT_TRUE(zone9.Found);
  EXPECT_NE(BoundsWarning(30, -50, -80, 90, 60), "");
  EXPECT_EQ(BoundsWarning(30, -50, -80, 90, 60, &zone9), "");
  // A .prj naming another entry, or none, leaves the check as it was.
  EXPECT_NE(BoundsWarning(29, -50, -80, 90, 60, &zone9), "");
  const TPrjMatch unknown = MatchPrjText(kUtm54Wkt1);
  EXPECT_NE(BoundsWarning(1, 300000, 3900000, 400000, 4000000, &unknown), "");
  const TPrjMatch wgs84 =
      MatchPrjText(Geographic("x", "WGS_1984", "WGS 84\",6378137,298.257223563"));
  EXPECT_EQ(BoundsWarning(1, -180.5, -90, 180, 90, &wgs84), "");
}

TEST(PrjBounds, DisagreementOnlyWhenTheFileNamesAnotherEntry) {
  const TPrjMatch jgd2011 = MatchPrjText(kJgd2011Zone9Esri);
  const TPrjMatch jgd2000 = MatchPrjText(ZoneEsri(kDatumCases[1], 8));
  EXPECT_EQ(PrjDisagreementWarning(30, jgd2011), "");
  EXPECT_EQ(PrjDisagreementWarning(30, jgd2000), "");
  const std::string warning = PrjDisagreementWarning(11, jgd2011);
  EXPECT_NE(warning.find(GetCoordSysDisplayText(11)), std::string::npos) << warning;
  EXPECT_NE(warning.find(jgd2011.Description), std::string::npos) << warning;
  EXPECT_EQ(PrjDisagreementWarning(11, MatchPrjText(kUtm54Wkt1)), "");
  EXPECT_EQ(PrjDisagreementWarning(-1, jgd2011), "");
}

}  // namespace
}  // namespace plexor
