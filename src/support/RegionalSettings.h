// The user's regional settings, handed into the core as a value. On Linux there is no such
// user setting, so the defaults are the Japanese desktop's.
#pragma once

#include <string>

namespace plexor {

struct RegionalSettings {
  char DecimalSeparator = '.';
  std::string ShortDateFormat = "yyyy/mm/dd";
  char DateSeparator = '/';

  // A comma separator would split MID rows, and a date format without a four-digit year or
  // with a comma or a double quote would make dates unreadable or break rows; both fall
  // back to the defaults.
  RegionalSettings MadeSafe() const;
};

}  // namespace plexor
