// A row of the batch list: one shapefile to convert, the coordinate system to label it with,
// and the MIF file to write.
#pragma once

#include <array>
#include <string>

#include "engine/ConvertHost.h"

namespace plexor {

struct TBatchRow {
  std::string IndexText;    // the coordinate-system index as written, e.g. "5" or "05"
  std::string DisplayText;  // derived from the index
  std::string SourcePath;
  std::string TargetPath;
  TBatchMark Mark = TBatchMark::None;
  std::string Reason;  // why the last run failed this row (UTF-8), else empty
};

// A row for the index: index text in decimal, display text from the catalogue.
TBatchRow MakeBatchRow(int index, const std::string& source, const std::string& target);
// The integer value of an index text; EConvertError "'%s' は整数ではありません".
int BatchRowIndex(const TBatchRow& row);

// Every file the row's conversion reads or writes: the .shp, its .dbf, the .mif and the .mid.
std::array<std::string, 4> BatchRowFiles(const TBatchRow& row);

// Lets the window repaint and shows the row being worked on.
void ShowRowWorkedOn(IConvertHost& host, int index);

}  // namespace plexor
