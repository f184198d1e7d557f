// Reading a field of a record: its value, or straight its text as FieldAsString gives it.
#pragma once

#include <cstdint>
#include <string>

#include "dbf/DbfFormat.h"
#include "dbf/localDbf.h"
#include "support/RegionalSettings.h"

namespace plexor {

// Days from 1 January of the year 1 (day 1) to the usual date-time origin, 30 December 1899.
inline constexpr int32_t kDateTimeOrigin = 693594;

// The value of the field in `record`; no value when the bytes hold none (blanks, a bad text,
// an empty binary field).
TDbfValue FieldValueOf(const DbfField& field, const unsigned char* record);
// Appends the field's text with the given regional settings, nothing for no value.
void AppendFieldTextOf(const DbfField& field, const unsigned char* record,
                       const RegionalSettings& regional, std::string& out);

// The first eight characters of a date field, yyyymmdd, as a valid date; `text` has at least
// 8 readable bytes.
bool ParseDbfDate(const char* text, TDbfDate& date);

}  // namespace plexor
