#include "engine/BatchRow.h"

#include "engine/CoordSys.h"
#include "engine/ShpToMif.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"

namespace plexor {

TBatchRow MakeBatchRow(int index, const std::string& source, const std::string& target) {
  TBatchRow row;
  row.IndexText = std::to_string(index);
  row.DisplayText = GetCoordSysDisplayText(index);
  row.SourcePath = source;
  row.TargetPath = target;
  return row;
}

// Unlike a number field of a table, whose blanks are padding, the index text is taken as it
// stands: blanks a row line holds inside the quotes make it no integer.
int BatchRowIndex(const TBatchRow& row) {
  int32_t value = 0;
  if (!ParseDecimalInt32(row.IndexText, value)) {
    throw EConvertError("'" + row.IndexText + "' は整数ではありません");
  }
  return value;
}

std::array<std::string, 4> BatchRowFiles(const TBatchRow& row) {
  return {row.SourcePath, AttributePathOf(row.SourcePath), row.TargetPath,
          MidPathOf(row.TargetPath)};
}

void ShowRowWorkedOn(IConvertHost& host, int index) {
  host.ProcessPendingEvents();
  host.SelectBatchRow(index);
  host.ProcessPendingEvents();
}

}  // namespace plexor
