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
    case TFieldType::ftLargeint:
      return TSFColumnType::ctDecimal;
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

// A CR or LF inside a value would end the MID row there and pair every later row with the
// wrong object; each becomes a blank. Neither byte can be part of a code page 932 character.
int64_t BlankLineBreaksFrom(std::string& row, size_t from) {
  int64_t replaced = 0;
  for (size_t i = from; i < row.size(); ++i) {
    if (row[i] == '\r' || row[i] == '\n') {
      row[i] = ' ';
      ++replaced;
    }
  }
  return replaced;
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
    if (def.DataType == TFieldType::ftString || def.DataType == TFieldType::ftLargeint) {
      column.Width = def.Size;
    }
  }
}

int64_t BuildMidRow(TLocalDbf& table, const RegionalSettings& regional, std::string& row) {
  row.clear();
  int64_t lineBreaks = 0;
  if (!table.Active()) return lineBreaks;
  const int count = table.FieldCount();
  for (int i = 0; i < count; ++i) {
    if (i > 0) row.push_back(',');
    if (table.FieldDef(i).DataType == TFieldType::ftString) {
      row.push_back('"');
      const size_t start = row.size();
      table.AppendFieldText(i, regional, row);
      lineBreaks += BlankLineBreaksFrom(row, start);
      DoubleQuotesFrom(row, start);
      row.push_back('"');
    } else {
      table.AppendFieldText(i, regional, row);
    }
  }
  return lineBreaks;
}

void BuildEmptyMidRow(TLocalDbf& table, std::string& row) {
  row.clear();
  const int count = table.Active() ? table.FieldCount() : 0;
  for (int i = 0; i < count; ++i) {
    if (i > 0) row.push_back(',');
    if (table.FieldDef(i).DataType == TFieldType::ftString) row.append("\"\"");
  }
}

std::string BuildMidRow(TLocalDbf& table, const RegionalSettings& regional) {
  std::string row;
  BuildMidRow(table, regional, row);
  return row;
}

}  // namespace plexor
