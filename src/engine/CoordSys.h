// The catalogue of the 41 Japanese coordinate systems the user labels a conversion with.
#pragma once

#include <cstdint>
#include <string>

namespace plexor {

inline constexpr int32_t kCoordSysCount = 41;

// The body of the MIF "CoordSys" line; empty outside 0 to 40.
std::string GetCoordSysClause(int32_t index);
// The text shown in the list (UTF-8); empty outside 0 to 40.
std::string GetCoordSysDisplayText(int32_t index);

}  // namespace plexor
