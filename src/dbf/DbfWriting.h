// Changing records of a TLocalDbf: the bytes a value is stored as, and writing records and
// the header back to the file.
#pragma once

#include "dbf/DbfFormat.h"
#include "dbf/localDbf.h"

namespace plexor {

// Writes the field's new bytes (Width of them) to `bytes`: blanks or zeros for no value, else
// the value as the field stores it. A value of another kind than the field's is converted
// where the meaning is plain; otherwise EConvertError, or ELocalDbfError for a number too
// wide for the field. Binary fields are read, not written, by this table.
void EncodeFieldValue(const DbfField& field, const TDbfValue& value, char* bytes);

}  // namespace plexor
