// Which code page a table's text is in, decided once per table and told to the user.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shp/AttributeText.h"

namespace plexor {

struct TEncodingDecision {
  int CodePage = 932;
  std::string How;                    // what decided it, for people (UTF-8)
  std::vector<std::string> Warnings;  // a .cpg that the bytes contradict, a doubtful guess
  // The Char fields whose every value was read and is ASCII, so that their columns need no
  // room for a longer encoding: the table's fields in order (unsupported ones left out), by
  // name and flag. Empty when the table was not read to its end.
  std::vector<std::string> FieldNames;
  std::vector<bool> AsciiOnly;
};

// In this order: `option` (the command's --encoding; empty when not given), the .cpg beside
// the .shp, the table's language-driver byte, a look at its text values: well-formed UTF-8
// with a non-ASCII character is UTF-8; bytes that are no code page 932 text, or read only as
// Western letters would (half-width katakana glued to Latin letters), are code page 1252 with
// a warning; anything else code page 932. EConvertError when `option` names no encoding we
// know. With `output` given, the fields that hold only ASCII are found when their columns
// would otherwise grow for that output.
TEncodingDecision DecideTableEncoding(const std::string& shpPath, const std::string& dbfPath,
                                      const std::string& option,
                                      std::optional<TOutputCharset> output = std::nullopt);

// "UTF-8 (.cpg)", for a summary line.
std::string EncodingSummaryText(const TEncodingDecision& decision);

}  // namespace plexor
