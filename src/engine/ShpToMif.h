// One shapefile into one MIF/MID pair.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/ConvertHost.h"
#include "support/QvSysUtils.h"

namespace plexor {

// True when every record was converted; false when the .shp or its .dbf is missing (nothing
// touched), the header was refused, or reading or writing failed part way. Files that cannot
// be opened or created, and an output that would overwrite an input, raise.
bool ConvertShpToMif(int32_t index, const std::string& source, const std::string& target,
                     IConvertHost& host, TConvertSummary* summary = nullptr);

// How a conversion spreads over threads. With ObjectThread the MIF objects are formatted on a
// thread of their own while the caller's reads shapes and writes the MID; with
// BackgroundWrites full buffers go to the system on threads that mostly wait for the disk.
struct TThreadPlan {
  bool ObjectThread = false;
  bool BackgroundWrites = false;
};
// Options.Threads 1: everything on the caller's thread; 2 or more: both. Left to the
// program (0): a small .shp stays on one thread; a larger one gets the object thread when
// two processors are idle, and otherwise only the writing threads, since two busy threads
// taking turns on one processor with other work are slower than one. `processors` is asked
// only then: looking takes a few milliseconds.
TThreadPlan PlanThreads(const TConvertOptions& options, int64_t shpBytes,
                        const std::function<TProcessors()>& processors);

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
