// One shapefile into one MIF/MID pair.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ConvertHost.h"

namespace plexor {

// True when every record was converted; false when the .shp or its .dbf is missing (nothing
// touched), the header was refused, or reading or writing failed part way. Files that cannot
// be opened or created, and an output that would overwrite an input, raise.
bool ConvertShpToMif(int32_t index, const std::string& source, const std::string& target,
                     IConvertHost& host, TConvertSummary* summary = nullptr);

// The .dbf beside a .shp: the extension replaced, or on a case-sensitive file system a
// sibling whose extension differs only in letter case.
std::string AttributePathOf(const std::string& source);
std::string MidPathOf(const std::string& target);
// True when the path ends in the extension of a file that makes up a shapefile (.shp, .dbf,
// .prj, ...; any letter case): no output may take such a name.
bool IsShapefileCompanionPath(const std::string& path);
// The same test of the file a write to `path` would really replace, links followed.
bool OutputWouldReplaceCompanion(const std::string& path);

}  // namespace plexor
