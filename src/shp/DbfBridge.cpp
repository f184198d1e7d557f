// The bridge from the attribute table to the MIF columns and MID rows.
#include <algorithm>
#include <cstring>

#include "dbf/DbfFormat.h"
#include "dbf/localDbf.h"
#include "shp/AttributeText.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStrings.h"

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

// The table's bytes of one value before conversion; one buffer per thread, reused.
std::string& RawValueBuffer() {
  thread_local std::string buffer;
  return buffer;
}

// The one column of a table without fields.
constexpr const char* kNoFieldsColumn = "_";
// Its value in every row: empty, written as other empty text values are.
constexpr const char* kNoFieldsValue = "\"\"";

// The widest Char column MapInfo takes.
constexpr int32_t kMaxCharWidth = 254;

bool IsAsciiNameChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Names compared as the table compares them: ASCII letters folded, double-byte characters
// as they stand.
std::string FoldedName(std::string_view name, bool cp932) {
  if (!cp932) return UpperAscii(name);
  std::string folded;
  FoldCaseCp932(name, folded);
  return folded;
}

}  // namespace

std::vector<std::string> MakeColumnNamesReadable(TSFColumns& columns, bool cp932) {
  // Names that are readable already keep them; the others are made readable around them.
  // Of equal names (a read-only table hands them on) the first keeps it and the others are
  // renamed by the same rule.
  std::vector<std::string> wanted;
  std::vector<std::string> taken;
  std::vector<bool> keeps;
  for (const TSFColumn& column : columns) {
    std::string name = column.Name;
    for (size_t i = 0; i < name.size(); ++i) {
      const auto c = static_cast<unsigned char>(name[i]);
      // The second byte of a double-byte character may look like ASCII; it is never touched.
      if (cp932 && IsCp932LeadByte(c) && i + 1 < name.size()) {
        ++i;
      } else if (c < 0x80 && !IsAsciiNameChar(c)) {
        name[i] = '_';
      }
    }
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name.insert(0, "_");
    std::string folded = FoldedName(name, cp932);
    const bool keep =
        name == column.Name && std::find(taken.begin(), taken.end(), folded) == taken.end();
    if (keep) taken.push_back(std::move(folded));
    keeps.push_back(keep);
    wanted.push_back(std::move(name));
  }
  std::vector<std::string> renamed;
  for (size_t k = 0; k < columns.size(); ++k) {
    TSFColumn& column = columns[k];
    if (keeps[k]) continue;
    std::string name = wanted[k];
    for (int n = 2; std::find(taken.begin(), taken.end(), FoldedName(name, cp932)) != taken.end();
         ++n) {
      name = wanted[k] + "_" + std::to_string(n);
    }
    taken.push_back(FoldedName(name, cp932));
    renamed.push_back(column.Name + " -> " + name);
    column.Name = name;
  }
  return renamed;
}

std::vector<std::string> ReadDbfColumns(TLocalDbf& table, TSFColumns& columns,
                                        TAttributeText* text) {
  std::vector<std::string> notes;
  const int count = table.FieldCount();
  // MapInfo tables have at least one column (GDAL will not write a MIF without one): an open
  // table without fields gives one empty Char column, whose value every row leaves empty.
  if (count == 0 && table.Active()) {
    columns.assign(1, TSFColumn{kNoFieldsColumn, TSFColumnType::ctChar, 1});
    return notes;
  }
  columns.assign(static_cast<size_t>(count), TSFColumn{});
  for (int i = 0; i < count; ++i) {
    const TFieldDef& def = table.FieldDef(i);
    TSFColumn& column = columns[static_cast<size_t>(i)];
    if (text) {
      text->Append(def.FieldName, i, 0, column.Name);
    } else {
      column.Name = def.FieldName;
    }
    column.ColumnType = ColumnTypeOf(def.DataType);
    if (def.DataType == TFieldType::ftLargeint) column.Width = def.Size;
    if (def.DataType != TFieldType::ftString) continue;
    // MapInfo takes Char(1) to Char(254); a value the width cuts is cut by the table too.
    column.Width = std::clamp<int32_t>(def.Size, 1, kMaxCharWidth);
    if (column.Width != def.Size) {
      const std::string shown =
          text && text->Output() == TOutputCharset::Utf8 ? column.Name : Cp932ToUtf8(column.Name);
      notes.push_back("フィールド " + shown + ": 幅 " + std::to_string(def.Size) +
                      " の文字列を Char(" + std::to_string(column.Width) + ") にしました" +
                      (def.Size > kMaxCharWidth ? " (MapInfo の上限)" : ""));
    }
    // A value may take more bytes in the output encoding than in the table; an ASCII one
    // never does.
    if (text) {
      column.Width = std::min(kMaxCharWidth, column.Width * text->MaxGrowth(i, def.FieldName));
    }
  }
  return notes;
}

int64_t BuildMidRow(TLocalDbf& table, const RegionalSettings& regional, std::string& row,
                    TAttributeText* text, int64_t record) {
  row.clear();
  int64_t lineBreaks = 0;
  if (!table.Active()) return lineBreaks;
  const int count = table.FieldCount();
  if (count == 0) {
    row.assign(kNoFieldsValue);
    return lineBreaks;
  }
  const bool convert = text != nullptr && !text->PassThrough();
  std::string& raw = RawValueBuffer();
  for (int i = 0; i < count; ++i) {
    if (i > 0) row.push_back(',');
    if (table.FieldDef(i).DataType == TFieldType::ftString) {
      row.push_back('"');
      const size_t start = row.size();
      if (convert) {
        raw.clear();
        table.AppendFieldText(i, regional, raw);
        text->Append(raw, i, record, row);
      } else {
        table.AppendFieldText(i, regional, row);
      }
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
  if (!table.Active()) return;
  const int count = table.FieldCount();
  if (count == 0) row.assign(kNoFieldsValue);
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
