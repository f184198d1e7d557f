#include "engine/ShapefileInfo.h"

#include <algorithm>
#include <cstdio>

#include "dbf/localDbf.h"
#include "engine/CoordSys.h"
#include "engine/ShpToMif.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStream.h"
#include "support/ByteStrings.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/InputFile.h"
#include "support/NumberText.h"
#include "support/TextEncoding.h"

namespace plexor {
namespace {

// Messages are not shown while describing: a refused header is a problem in the list.
class SilentMessages : public IUserMessages {
 public:
  void ShowMessage(MessageKind, const std::string& text) override { last = text; }
  std::string last;
};

// One buffer of each kind, reused from record to record as the conversion reuses its slots.
class ScratchShapes final : public IShapeBuffers {
 public:
  TSFPoint& Point() override { return point_; }
  TSFPolyLine& Line() override { return line_; }
  TSFPolygon& Region() override { return polygon_; }
  TSFMultiPoint& Multipoint() override { return multiPoint_; }

 private:
  TSFPoint point_;
  TSFPolyLine line_;
  TSFPolygon polygon_;
  TSFMultiPoint multiPoint_;
};

// Every record is read as the conversion reads it, shapes included, so that a record the
// conversion would refuse is listed here with the same words.
void WalkShapes(TShapefileInfo& info) {
  try {
    ByteStream stream(info.Path);
    SilentMessages silent;
    if (!ReadShpHeader(stream, silent, info.ShapeType)) {
      info.Problems.push_back("SHPファイルのヘッダーが不正です。");
      return;
    }
    TShpFileHeader fileHeader;
    if (PeekShpFileHeader(info.Path, fileHeader)) {
      std::copy(fileHeader.Bounds, fileHeader.Bounds + 4, info.Bounds);
    }
    ScratchShapes shapes;
    while (stream.Position() < stream.Size()) {
      const int64_t offset = stream.Position();
      TShpRecordHeader header;
      TShpRecordKind kind;
      try {
        kind = ReadShpRecord(stream, header, shapes);
      } catch (const EReadError& e) {
        info.Problems.push_back(ShpRecordFaultText(info.Records + 1, offset, e.what()));
        return;
      } catch (const ERangeError& e) {
        info.Problems.push_back(ShpRecordFaultText(info.Records + 1, offset, e.what()));
        return;
      }
      if (kind == TShpRecordKind::ZeroTail) {
        info.Problems.push_back(ShpZeroTailText(stream.Size() - offset));
        return;
      }
      ++info.RecordsByType[header.ShapeType];
      ++info.Records;
    }
  } catch (const std::exception& e) {
    info.Problems.push_back(e.what());
  }
}

// The column each descriptor becomes, from its letter alone, so that one unsupported field
// does not hide what the others become.
std::string MifColumnOf(const TFieldInfo& f, bool visualFoxPro) {
  switch (f.Type) {
    case 'C':
      // As the conversion writes it: MapInfo takes Char(1) to Char(254).
      return "Char(" + std::to_string(std::clamp(f.Width, 1, 254)) + ")";
    case 'N':
    case 'F':
      if (f.Decimals != 0) return "Float";
      return f.Width >= 10 ? "Decimal(" + std::to_string(f.Width) + ",0)" : "Integer";
    case 'I':
      return "Integer";
    case 'O':
      return "Float";
    case 'B':
      return visualFoxPro && f.Width == 8 ? "Float" : "";
    case 'D':
    case 'T':
    case '@':
      return "Date";
    case 'L':
      return "Logical";
    default:
      return {};
  }
}

// The descriptors as they stand in the header: the table's own view leaves out what it
// does not read.
std::vector<TFieldInfo> ReadDescriptors(const std::string& dbfPath, int codePage) {
  std::vector<TFieldInfo> fields;
  InputFile file;
  unsigned char head[32];
  if (!file.OpenRead(dbfPath) || file.ReadAt(0, head, 32) != 32) return fields;
  const int64_t headerLength = GetLE16(head + 8);
  const bool visualFoxPro = head[0] == 0x30 || head[0] == 0x31 || head[0] == 0x32;
  for (int64_t at = 32; at + 32 <= headerLength && fields.size() < 2048; at += 32) {
    unsigned char d[32];
    if (file.ReadAt(at, d, 1) != 1 || d[0] == 0x0D || file.ReadAt(at, d, 32) != 32) break;
    TFieldInfo f;
    const auto* name = reinterpret_cast<const char*>(d);
    const std::string raw(name, strnlen(name, 11));
    // A writer cutting a UTF-8 name to 10 bytes may cut a character: decoding marks it.
    if (!DecodeToUtf8(codePage, raw, f.Name)) DecodeToUtf8(kCodePageCp932, raw, f.Name);
    f.Type = d[11] > 0x20 && d[11] < 0x7F ? static_cast<char>(d[11]) : '?';
    f.Width = d[16];
    f.Decimals = d[17];
    f.MifColumn = MifColumnOf(f, visualFoxPro);
    fields.push_back(std::move(f));
  }
  return fields;
}

void ReadTable(TShapefileInfo& info, const std::string& encodingOption) {
  const std::string dbfPath = AttributePathOf(info.Path);
  if (!InputFileExists(dbfPath)) {
    info.Problems.push_back("DBFファイルがありません: " + NativeToUtf8(dbfPath));
    return;
  }
  try {
    info.Encoding = DecideTableEncoding(info.Path, dbfPath, encodingOption);
  } catch (const std::exception& e) {
    info.Problems.push_back(e.what());
  }
  try {
    info.Fields =
        ReadDescriptors(dbfPath, info.Encoding ? info.Encoding->CodePage : kCodePageCp932);
  } catch (const std::exception&) {
    // A damaged member: the table's own open below names the reason.
  }
  try {
    TLocalDbf table;
    table.SetTableName(dbfPath);
    table.SetReadOnly(true);
    table.SetShowDeleted(true);
    table.SetReadAhead(true);
    table.SetSkipUnsupportedFields(true);  // the descriptors list them as problems already
    table.Open();
    info.TableRecords = table.RecordCount();
    for (; !table.Eof(); table.Next()) info.DeletedRecords += table.RecordDeleted() ? 1 : 0;
  } catch (const std::exception& e) {
    info.Problems.push_back(std::string("DBF: ") + e.what());
  }
  if (info.TableRecords >= 0 && info.TableRecords != info.Records) {
    info.Problems.push_back("図形 " + std::to_string(info.Records) + " 件に対して属性レコードが " +
                            std::to_string(info.TableRecords) + " 件あります。");
  }
}

std::string TypeName(int32_t type) {
  const char* name = ShapeTypeName(type);
  return name ? name : "type " + std::to_string(type);
}

std::string Number(double v) {
  char text[kNumberTextMax];
  return std::string(text, FormatGeneral(v, '.', text));
}

std::string JsonString(const std::string& text) {
  // JSON is UTF-8: a path or name that is not becomes U+FFFD where it breaks.
  std::string s;
  DecodeToUtf8(kCodePageUtf8, text, s);
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonNumber(double v) {
  const std::string text = Number(v);
  return text == "INF" || text == "-INF" || text == "NAN" ? "null" : text;
}

}  // namespace

TShapefileInfo DescribeShapefile(const std::string& shpPath, const std::string& encodingOption) {
  TShapefileInfo info;
  info.Path = shpPath;
  if (!InputFileExists(shpPath)) {
    info.Problems.push_back("SHPファイルがありません: " + NativeToUtf8(shpPath));
    return info;
  }
  WalkShapes(info);
  ReadTable(info, encodingOption);
  info.Prj = ReadPrjBeside(shpPath);
  for (const TFieldInfo& f : info.Fields) {
    if (f.MifColumn.empty()) {
      info.Problems.push_back("対応していないフィールド型です: " + PrintableUtf8(f.Name) + " (" +
                              f.Type + ")");
    }
  }
  return info;
}

std::string ShapefileInfoText(const TShapefileInfo& info) {
  std::string t = NativeToUtf8(info.Path) + "\n";
  t += "  図形の種類: " + TypeName(info.ShapeType) + "\n";
  t += "  レコード数: " + std::to_string(info.Records);
  for (const auto& [type, n] : info.RecordsByType)
    t += " (" + TypeName(type) + " " + std::to_string(n) + ")";
  t += "\n  範囲: " + Number(info.Bounds[0]) + " " + Number(info.Bounds[1]) + " - " +
       Number(info.Bounds[2]) + " " + Number(info.Bounds[3]) + "\n";
  if (info.TableRecords >= 0) {
    t += "  属性レコード数: " + std::to_string(info.TableRecords) + " (削除済み " +
         std::to_string(info.DeletedRecords) + ")\n";
  }
  if (info.Encoding) t += "  文字コード: " + EncodingSummaryText(*info.Encoding) + "\n";
  if (!info.Prj) {
    t += "  .prj: なし\n";
  } else if (info.Prj->Found) {
    t += "  .prj: " + info.Prj->Description + " -> " + std::to_string(info.Prj->Index) + " " +
         GetCoordSysDisplayText(info.Prj->Index) + "\n";
  } else {
    t += "  .prj: " + info.Prj->Reason + "\n";
  }
  t += "  フィールド:\n";
  for (const TFieldInfo& f : info.Fields) {
    t += "    " + PrintableUtf8(f.Name) + " " + f.Type + "(" + std::to_string(f.Width) + "," +
         std::to_string(f.Decimals) + ") -> " + (f.MifColumn.empty() ? "(対応なし)" : f.MifColumn) +
         "\n";
  }
  for (const std::string& p : info.Problems) t += "  問題: " + p + "\n";
  return t;
}

std::string ShapefileInfoJson(const TShapefileInfo& info) {
  std::string j = "{\"path\":" + JsonString(NativeToUtf8(info.Path));
  j += ",\"shapeType\":" + JsonString(TypeName(info.ShapeType));
  j += ",\"records\":" + std::to_string(info.Records);
  j += ",\"bounds\":[" + JsonNumber(info.Bounds[0]) + "," + JsonNumber(info.Bounds[1]) + "," +
       JsonNumber(info.Bounds[2]) + "," + JsonNumber(info.Bounds[3]) + "]";
  j += ",\"recordsByType\":{";
  bool first = true;
  for (const auto& [type, n] : info.RecordsByType) {
    j += (first ? "" : ",") + JsonString(TypeName(type)) + ":" + std::to_string(n);
    first = false;
  }
  j +=
      "},\"tableRecords\":" + (info.TableRecords >= 0 ? std::to_string(info.TableRecords) : "null");
  j += ",\"deletedRecords\":" + std::to_string(info.DeletedRecords);
  j += ",\"encoding\":";
  j += info.Encoding ? "{\"name\":" + JsonString(CodePageName(info.Encoding->CodePage)) +
                           ",\"decidedBy\":" + JsonString(info.Encoding->How) + "}"
                     : "null";
  j += ",\"prj\":";
  if (!info.Prj) {
    j += "null";
  } else {
    j += "{\"found\":" + std::string(info.Prj->Found ? "true" : "false") +
         ",\"entry\":" + (info.Prj->Found ? std::to_string(info.Prj->Index) : "null") +
         ",\"description\":" + JsonString(info.Prj->Description) +
         ",\"reason\":" + JsonString(info.Prj->Reason) + "}";
  }
  j += ",\"fields\":[";
  for (size_t i = 0; i < info.Fields.size(); ++i) {
    const TFieldInfo& f = info.Fields[i];
    j += (i ? "," : "") + std::string("{\"name\":") + JsonString(f.Name) +
         ",\"type\":" + JsonString(std::string(1, f.Type)) +
         ",\"width\":" + std::to_string(f.Width) + ",\"decimals\":" + std::to_string(f.Decimals) +
         ",\"mifColumn\":" + (f.MifColumn.empty() ? "null" : JsonString(f.MifColumn)) + "}";
  }
  j += "],\"problems\":[";
  for (size_t i = 0; i < info.Problems.size(); ++i)
    j += (i ? "," : "") + JsonString(info.Problems[i]);
  return j + "]}";
}

}  // namespace plexor
