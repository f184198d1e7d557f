#include "support/RegionalSettings.h"

namespace plexor {

RegionalSettings RegionalSettings::MadeSafe() const {
  RegionalSettings safe = *this;
  const char sep = DecimalSeparator;
  if (sep == ',' || sep == '"' || static_cast<unsigned char>(sep) <= 32 ||
      static_cast<unsigned char>(sep) >= 0x80 || (sep >= '0' && sep <= '9') || sep == '-') {
    safe.DecimalSeparator = '.';
  }
  const std::string& f = ShortDateFormat;
  bool fourDigitYear = false;
  for (size_t i = 0; i + 2 < f.size(); ++i) {
    if ((f[i] == 'y' || f[i] == 'Y') && (f[i + 1] == 'y' || f[i + 1] == 'Y') &&
        (f[i + 2] == 'y' || f[i + 2] == 'Y')) {
      fourDigitYear = true;
    }
  }
  if (!fourDigitYear || f.find(',') != std::string::npos || f.find('"') != std::string::npos) {
    safe.ShortDateFormat = "yyyy/mm/dd";
  }
  if (DateSeparator == ',' || DateSeparator == '"' ||
      static_cast<unsigned char>(DateSeparator) < 32) {
    safe.DateSeparator = '/';
  }
  return safe;
}

}  // namespace plexor
