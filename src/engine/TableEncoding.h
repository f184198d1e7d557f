// Which code page a table's text is in, decided once per table and told to the user.
#pragma once

#include <string>
#include <vector>

namespace plexor {

struct TEncodingDecision {
  int CodePage = 932;
  std::string How;                    // what decided it, for people (UTF-8)
  std::vector<std::string> Warnings;  // a .cpg that the bytes contradict
};

// In this order: `option` (the command's --encoding; empty when not given), the .cpg beside
// the .shp, the table's language-driver byte, a look at its text values (well-formed UTF-8
// with a non-ASCII character is UTF-8, anything else code page 932). EConvertError when
// `option` names no encoding we know.
TEncodingDecision DecideTableEncoding(const std::string& shpPath, const std::string& dbfPath,
                                      const std::string& option);

// "UTF-8 (.cpg)", for a summary line.
std::string EncodingSummaryText(const TEncodingDecision& decision);

}  // namespace plexor
