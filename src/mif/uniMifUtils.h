// Writing MapInfo Interchange text: the MIF header, the columns, the objects and MID rows.
#pragma once

#include <string>
#include <string_view>

#include "shp/UniSFMapUtil.h"
#include "support/TextFile.h"

namespace plexor {

// The MIF versions written: 300 holds points, lines and regions; Multipoint objects need 650.
inline constexpr int kMifVersion300 = 300;
inline constexpr int kMifVersion650 = 650;

// "Version 300", Charset, Delimiter and "CoordSys " + clause.
void WriteMifHeader(TextFileWriter& mif, std::string_view clause);
// The same with "Version " + `version`.
void WriteMifHeader(TextFileWriter& mif, std::string_view clause, int version,
                    std::string_view charset = "WindowsJapanese");
// "Columns n", one line per column, "Data" and an empty line.
void WriteMifColumns(TextFileWriter& mif, const TSFColumns& columns);
void WriteMifPoint(TextFileWriter& mif, const TSFPoint& point, char decimalSeparator = '.');
// A part start outside Points (or a next start beyond its end) comes only from a damaged
// file: the object is refused with ERangeError before any line of it is written.
void WriteMifPLine(TextFileWriter& mif, const TSFPolyLine& line, char decimalSeparator = '.');
// Normalizes a one-ring polygon first, which may change the caller's record.
void WriteMifRegion(TextFileWriter& mif, TSFPolygon& polygon, char decimalSeparator = '.');
// The same for a polygon NormalizeRing was applied to already.
void WriteNormalizedMifRegion(TextFileWriter& mif, const TSFPolygon& polygon,
                              char decimalSeparator = '.');
// "Multipoint n", one point per line and an empty line. With no points it is "Multipoint 0",
// which readers take as an empty multipoint, so the object still pairs with its MID row.
void WriteMifMultipoint(TextFileWriter& mif, const TSFMultiPoint& multiPoint,
                        char decimalSeparator = '.');
void WriteMidRow(TextFileWriter& mid, std::string_view row);

}  // namespace plexor
