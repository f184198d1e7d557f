// What the user names as a source, made into shapefiles: a .shp (or a member of an archive)
// itself, a zip archive (every .shp in it, at any depth), or a folder (its .shp files, and
// those of its sub-folders when asked), each list in a stable sorted order.
#pragma once

#include <string>
#include <vector>

namespace plexor {

struct TSourceItem {
  std::string Source;   // a .shp path; for a member, its path through the archive
  std::string Refusal;  // UTF-8: why this shapefile is not converted; empty when it can be
};

// True when the path is an existing archive file (not a member of one).
bool IsArchiveSource(const std::string& path);
// A folder or an archive lists its shapefiles; any other path is its own one item. Raises
// EArchiveError or EFOpenError for an archive that cannot be read at all.
std::vector<TSourceItem> ExpandSource(const std::string& path, bool recursive);
// The one shapefile an archive holds; false with the reason when it holds none or several.
bool SingleShapefileOf(const std::string& archive, std::string& member, std::string& why);
// The .mif a source writes unless told otherwise: beside the .shp; for a member, beside its
// archive under the member's own name (its folders inside the archive play no part).
std::string DefaultTargetOf(const std::string& source);
// The .shp a file of a shapefile belongs to (roads.dbf, roads.shx, ... -> roads.shp), the
// .shp itself; empty when the path is no such file or its .shp does not exist.
std::string ShapefileOfCompanion(const std::string& path);

// What files and folders dropped on the window give: the shapefiles, once each, in the order
// dropped (folders with their sub-folders), and in `unused` the paths that give none.
std::vector<TSourceItem> SourcesFromDrop(const std::vector<std::string>& paths,
                                         std::vector<std::string>& unused);

}  // namespace plexor
