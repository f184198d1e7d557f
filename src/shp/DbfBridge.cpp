// The bridge from the attribute table to the MIF columns and MID rows.
#include <cstring>

#include "dbf/localDbf.h"
#include "shp/uniShpUtils.h"

namespace plexor {

namespace {

TSFColumnType ColumnTypeOf(TFieldType type) {
  switch (type) {
    case TFieldType::ftInteger:
      return TSFColumnType::ctInteger;
    case TFieldType::ftFloat:
      return TSFColumnType::ctFloat;
    case TFieldType::ftDate:
      return TSFColumnType::ctDate;
    case TFieldType::ftBoolean:
      return TSFColumnType::ctLogical;
    case TFieldType::ftString:
    case TFieldType::ftUnknown:
      break;
  }
  return TSFColumnType::ctChar;
}

// Doubles every double quote from `from` on, in place: MID readers take a lone quote inside a
// quoted value as its end and lose the rest of the row.
void DoubleQuotesFrom(std::string& row, size_t from) {
  if (from >= row.size() || std::memchr(row.data() + from, '"', row.size() - from) == nullptr) {
    return;
  }
  size_t quotes = 0;
  for (size_t i = from; i < row.size(); ++i) quotes += row[i] == '"';
  size_t src = row.size();
  row.resize(row.size() + quotes);
  size_t dst = row.size();
  while (src > from) {
    const char c = row[--src];
    row[--dst] = c;
    if (c == '"') row[--dst] = '"';
  }
}

}  // namespace

void ReadDbfColumns(TLocalDbf& table, TSFColumns& columns) {
  const int count = table.FieldCount();
  columns.assign(static_cast<size_t>(count), TSFColumn{});
  for (int i = 0; i < count; ++i) {
    const TFieldDef& def = table.FieldDef(i);
    TSFColumn& column = columns[static_cast<size_t>(i)];
    column.Name = def.FieldName;
    column.ColumnType = ColumnTypeOf(def.DataType);
    if (def.DataType == TFieldType::ftString) column.Width = def.Size;
  }
}

void BuildMidRow(TLocalDbf& table, const RegionalSettings& regional, std::string& row) {
  row.clear();
  if (!table.Active()) return;
  const int count = table.FieldCount();
  for (int i = 0; i < count; ++i) {
    if (i > 0) row.push_back(',');
    if (table.FieldDef(i).DataType == TFieldType::ftString) {
      row.push_back('"');
      const size_t start = row.size();
      table.AppendFieldText(i, regional, row);
      DoubleQuotesFrom(row, start);
      row.push_back('"');
    } else {
      table.AppendFieldText(i, regional, row);
    }
  }
}

std::string BuildMidRow(TLocalDbf& table, const RegionalSettings& regional) {
  std::string row;
  BuildMidRow(table, regional, row);
  return row;
}

}  // namespace plexor
