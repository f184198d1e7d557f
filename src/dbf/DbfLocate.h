// Searching a TLocalDbf by key fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dbf/localDbf.h"

namespace plexor {

// Whether a field's value matches a search key. Text compares with text (partly or without
// case as asked); numbers, dates and logicals compare by value with keys of their kind or
// with texts that parse as one. No value matches nothing. The scratch strings keep the folded
// texts' memory from one record to the next.
bool KeyMatches(const TDbfValue& value, const TDbfValue& key, TLocateOptions options,
                std::string& scratchA, std::string& scratchB);

// "A;B" into its names; an empty name between separators counts, one at the end does not.
std::vector<std::string> SplitKeyFields(std::string_view text, char separator);

}  // namespace plexor
