#include "mif/uniMifUtils.h"

#include <charconv>
#include <cstring>

#include "support/Exceptions.h"
#include "support/NumberText.h"

namespace plexor {
namespace {

constexpr const char* kBadPartText = "図形のパート開始位置が不正です。";

char* Put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

char* PutInt(char* p, int64_t value) {
  return std::to_chars(p, p + 24, value).ptr;
}

char* PutCrLf(char* p) {
  p[0] = '\r';
  p[1] = '\n';
  return p + 2;
}

// keyword + number, e.g. "PLine 3" or "  5" for a section count.
void WriteCountLine(TextFileWriter& mif, std::string_view keyword, int64_t count) {
  char* p = mif.Reserve(keyword.size() + 24 + 2);
  p = PutInt(Put(p, keyword), count);
  mif.Commit(PutCrLf(p));
}

void WritePointLines(TextFileWriter& mif, const TSFPoint* points, size_t count, char sep) {
  constexpr size_t kLineMax = 2 * kNumberTextMax + 3;
  for (size_t i = 0; i < count; ++i) {
    char* p = mif.Reserve(kLineMax);
    p += FormatCoordPair(points[i].X, points[i].Y, sep, p);
    mif.Commit(PutCrLf(p));
  }
}

// Section k of a multi-part shape: its first point and its count (which may be 0 or less).
struct Section {
  int64_t first;
  int64_t count;
};

template <typename Shape>
Section SectionOf(const Shape& shape, size_t k) {
  const int64_t first = shape.Parts[k];
  const int64_t end = k + 1 < shape.Parts.size() ? int64_t{shape.Parts[k + 1]}
                                                 : static_cast<int64_t>(shape.Points.size());
  return Section{first, end - first};
}

// Every section must lie inside Points; a damaged record is refused whole, so that no half
// object reaches the file.
template <typename Shape>
void CheckSections(const Shape& shape) {
  const auto size = static_cast<int64_t>(shape.Points.size());
  for (size_t k = 0; k < shape.Parts.size(); ++k) {
    const Section s = SectionOf(shape, k);
    if (s.first < 0 || s.first >= size || (s.count > 0 && s.first + s.count > size)) {
      throw ERangeError(kBadPartText);
    }
  }
}

template <typename Shape>
void WriteMultiSection(TextFileWriter& mif, const Shape& shape, std::string_view keyword,
                       char sep) {
  CheckSections(shape);
  WriteCountLine(mif, keyword, shape.NumParts);
  for (size_t k = 0; k < shape.Parts.size(); ++k) {
    const Section s = SectionOf(shape, k);
    WriteCountLine(mif, "  ", s.count);
    if (s.count > 0) {
      WritePointLines(mif, shape.Points.data() + s.first, static_cast<size_t>(s.count), sep);
    }
  }
  mif.WriteLine({});
}

}  // namespace

void WriteMifHeader(TextFileWriter& mif, std::string_view clause) {
  WriteMifHeader(mif, clause, kMifVersion300);
}

void WriteMifHeader(TextFileWriter& mif, std::string_view clause, int version,
                    std::string_view charset) {
  WriteCountLine(mif, "Version ", version);
  std::string charsetLine = "Charset \"";
  charsetLine.append(charset);
  charsetLine += '"';
  mif.WriteLine(charsetLine);
  mif.WriteLine("Delimiter \",\"");
  std::string line = "CoordSys ";
  line.append(clause);
  mif.WriteLine(line);
}

void WriteMifColumns(TextFileWriter& mif, const TSFColumns& columns) {
  WriteCountLine(mif, "Columns ", static_cast<int64_t>(columns.size()));
  std::string line;
  for (const TSFColumn& column : columns) {
    line = column.Name;
    switch (column.ColumnType) {
      case TSFColumnType::ctChar:
        line += " Char(";
        line += std::to_string(column.Width);
        line += ')';
        break;
      case TSFColumnType::ctInteger:
        line += " Integer";
        break;
      case TSFColumnType::ctDecimal:
        line += " Decimal(";
        line += std::to_string(column.Width);
        line += ",0)";
        break;
      case TSFColumnType::ctFloat:
        line += " Float";
        break;
      case TSFColumnType::ctDate:
        line += " Date";
        break;
      case TSFColumnType::ctLogical:
        line += " Logical";
        break;
    }
    mif.WriteLine(line);
  }
  mif.WriteLine("Data");
  mif.WriteLine({});
}

void WriteMifPoint(TextFileWriter& mif, const TSFPoint& point, char decimalSeparator) {
  char* p = mif.Reserve(2 * kNumberTextMax + 9);
  p = Put(p, "Point ");
  p += FormatCoordPair(point.X, point.Y, decimalSeparator, p);
  mif.Commit(PutCrLf(p));
}

void WriteMifPLine(TextFileWriter& mif, const TSFPolyLine& line, char decimalSeparator) {
  if (line.NumParts > 1) return WriteMultiSection(mif, line, "PLine MultiPle ", decimalSeparator);
  WriteCountLine(mif, "PLine ", line.NumPoints);
  WritePointLines(mif, line.Points.data(), line.Points.size(), decimalSeparator);
  mif.WriteLine({});
}

void WriteMifRegion(TextFileWriter& mif, TSFPolygon& polygon, char decimalSeparator) {
  NormalizeRing(polygon);
  WriteNormalizedMifRegion(mif, polygon, decimalSeparator);
}

void WriteNormalizedMifRegion(TextFileWriter& mif, const TSFPolygon& polygon,
                              char decimalSeparator) {
  if (polygon.NumParts > 1) return WriteMultiSection(mif, polygon, "Region ", decimalSeparator);
  mif.WriteLine("Region 1");
  WriteCountLine(mif, "  ", polygon.NumPoints);
  WritePointLines(mif, polygon.Points.data(), polygon.Points.size(), decimalSeparator);
  mif.WriteLine({});
}

void WriteMifMultipoint(TextFileWriter& mif, const TSFMultiPoint& multiPoint,
                        char decimalSeparator) {
  // Counted from the points held rather than NumPoints, so the count line can never disagree
  // with the lines that follow it.
  WriteCountLine(mif, "Multipoint ", static_cast<int64_t>(multiPoint.Points.size()));
  WritePointLines(mif, multiPoint.Points.data(), multiPoint.Points.size(), decimalSeparator);
  mif.WriteLine({});
}

void WriteMidRow(TextFileWriter& mid, std::string_view row) {
  mid.WriteLine(row);
}

}  // namespace plexor
