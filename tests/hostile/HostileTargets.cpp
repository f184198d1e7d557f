#include "hostile/HostileTargets.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "dbf/localDbf.h"
#include "engine/Batch.h"
#include "engine/CoordSys.h"
#include "engine/ShpToMif.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/FileHandle.h"
#include "support/NumberText.h"
#include "support/NumberTextReference.h"
#include "support/ProfileFile.h"
#include "support/QvCsv.h"
#include "support/ShpBuilder.h"

namespace plexor::hostile {
namespace {

constexpr const char* kInvalidShpText = "不正なSHPファイルです。";

[[noreturn]] void Fail(const std::string& what) {
  throw HostileFailure(what);
}

// Inside a catch-all: a finding passes through, any other error where none was due becomes one.
[[noreturn]] void ReportUnexpectedError() {
  try {
    throw;
  } catch (const HostileFailure&) {
    throw;
  } catch (const Exception& e) {
    Fail(std::string("an error where none was due: ") + e.what());
  } catch (const std::exception& e) {
    Fail(std::string("an error outside the hierarchy: ") + e.what());
  }
}

// One scratch folder per process: a fuzzer calls a target millions of times, and a fresh
// folder each time would cost more than the conversion.
class WorkDir {
 public:
  static std::string File(const std::string& name) { return Instance().path_ + "/" + name; }
  // What the writers leave only when they fail to clean up.
  static std::vector<std::string> Temporaries() {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(Instance().path_)) {
      if (e.path().filename().string().find(".plexor-tmp") != std::string::npos) {
        found.push_back(e.path().string());
      }
    }
    return found;
  }

 private:
  static WorkDir& Instance() {
    static WorkDir dir;
    return dir;
  }
  WorkDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "plexor-hostile-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) Fail("cannot make a scratch folder");
    path_ = pattern;
  }
  ~WorkDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string path_;
};

void RemoveFile(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

void ExpectUnchanged(const std::string& path, std::string_view before, const char* what) {
  if (test::ReadFile(path) != before) Fail(std::string(what) + " was changed by reading it");
}

// Every file the program opens is closed again, also after an error: a leak would show as
// an ever higher descriptor number over the millions of runs of a fuzzer.
void ExpectNoDescriptorLeak() {
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  if (fd > 64) Fail("file descriptors are leaking: " + std::to_string(fd));
}

// The line rules of batch files and profile files: CR LF, a lone LF or a lone CR end a line;
// a last line without an ending counts.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  bool pending = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line.push_back(c);
      pending = true;
    }
  }
  if (pending) lines.push_back(line);
  return lines;
}

// --- Conversion ---------------------------------------------------------------------------

struct Pair {
  unsigned char options = 0;
  std::string_view dbf;
  std::string_view shp;
};

Pair SplitPair(std::string_view data) {
  Pair p;
  if (data.empty()) return p;
  p.options = static_cast<unsigned char>(data[0]);
  data.remove_prefix(1);
  const size_t at = data.find(kPairSeparator);
  if (at == std::string_view::npos) {
    p.dbf = data;
  } else {
    p.dbf = data.substr(0, at);
    p.shp = data.substr(at + kPairSeparator.size());
  }
  return p;
}

enum class ShpHeader { Cut, Refused, Accepted };

// What the bytes of a .shp should give, worked out here without the reader: the header's
// fate, whether every record is whole, and the objects and passed-over records by type.
struct ShpFacts {
  ShpHeader header = ShpHeader::Cut;
  bool complete = false;
  int64_t objects = 0;
  std::map<int32_t, int64_t> skipped;
};

ShpFacts WalkShp(std::string_view shp) {
  ShpFacts f;
  const auto* b = reinterpret_cast<const unsigned char*>(shp.data());
  const int64_t size = static_cast<int64_t>(shp.size());
  // The reader takes the header in pieces: the file code, then up to the version, then the
  // rest; a refusal is shown as soon as its piece is in.
  if (size < 4) return f;
  if (GetBE32(b) != 9994) {
    f.header = ShpHeader::Refused;
    return f;
  }
  if (size < 32) return f;
  if (GetLE32(b + 28) != 1000) {
    f.header = ShpHeader::Refused;
    return f;
  }
  if (size < 100) return f;
  f.header = ShpHeader::Accepted;

  int64_t pos = 100;
  while (pos < size) {
    // A file that ends inside a record header has lost a record.
    if (size - pos < 12) return f;
    const int32_t contentLength = GetBE32(b + pos + 4);
    const int32_t type = GetLE32(b + pos + 8);
    pos += 12;
    const int64_t left = size - pos;
    switch (type) {
      case 0:
        ++f.skipped[type];
        break;
      case 1:
        if (left < 16) return f;
        pos += 16;
        ++f.objects;
        break;
      case 3:
      case 5: {
        if (left < 40) return f;
        const int32_t parts = GetLE32(b + pos + 32);
        const int32_t points = GetLE32(b + pos + 36);
        if (parts < 0 || points < 0) return f;
        const int64_t need = 40 + int64_t{parts} * 4 + int64_t{points} * 16;
        if (need > left) return f;
        // The writer refuses a multi-part shape whose sections do not lie inside its points.
        if (parts > 1) {
          for (int32_t k = 0; k < parts; ++k) {
            const int64_t first = GetLE32(b + pos + 40 + 4 * k);
            const int64_t end = k + 1 < parts ? int64_t{GetLE32(b + pos + 44 + 4 * k)} : points;
            const int64_t count = end - first;
            if (first < 0 || first > points || (count > 0 && first + count > points)) return f;
          }
        }
        pos += need;
        ++f.objects;
        break;
      }
      default: {
        const int64_t bytes = int64_t{contentLength} * 2 - 4;
        if (bytes < 0 || bytes > left) return f;
        pos += bytes;
        ++f.skipped[type];
        break;
      }
    }
  }
  f.complete = true;
  return f;
}

// The .dbf holds every record its header counts.
bool TableIsWhole(std::string_view dbf) {
  if (dbf.size() < 32) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(dbf.data());
  const int64_t count = GetLE32(b + 4);
  const int64_t headerLength = GetLE16(b + 8);
  const int64_t recordLength = GetLE16(b + 10);
  return count >= 0 && static_cast<int64_t>(dbf.size()) >= headerLength + count * recordLength;
}

size_t CountOf(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

std::string JoinPair(unsigned char options, std::string_view dbf, std::string_view shp) {
  std::string data(1, static_cast<char>(options));
  data.append(dbf);
  data.append(kPairSeparator);
  data.append(shp);
  return data;
}

void ConvertPair(std::string_view data) {
  const Pair pair = SplitPair(data);
  const std::string shp = WorkDir::File("in.shp");
  const std::string dbf = WorkDir::File("in.dbf");
  const std::string mif = WorkDir::File("out.mif");
  const std::string mid = WorkDir::File("out.mid");
  test::WriteFile(shp, std::string(pair.shp));
  test::WriteFile(dbf, std::string(pair.dbf));
  RemoveFile(mif);
  RemoveFile(mid);

  // 0 to 40 are the catalogue, 41 to 63 lie outside it.
  const int index = pair.options & 63;
  test::FakeHost host;
  if (pair.options & 64) host.Settings.DecimalSeparator = ',';
  if (pair.options & 128) host.Settings.ShortDateFormat = "yyyymmdd";

  TConvertSummary summary;
  bool result = false;
  bool raised = false;
  try {
    result = ConvertShpToMif(index, shp, mif, host, &summary);
  } catch (const Exception& e) {
    raised = true;
    if (e.Message().empty()) Fail("an error without a message");
  } catch (const std::exception& e) {
    Fail(std::string("an error outside the hierarchy: ") + e.what());
  }

  ExpectUnchanged(shp, pair.shp, "the .shp");
  ExpectUnchanged(dbf, pair.dbf, "the .dbf");
  ExpectNoDescriptorLeak();
  if (raised) {
    // Only the table can refuse to open here, and it is opened before the outputs.
    if (FileExists(mif) || FileExists(mid)) Fail("outputs created before the error");
    return;
  }
  // Outputs appear whole or not at all.
  if (result != FileExists(mif) || result != FileExists(mid)) {
    Fail(result ? "an output is missing" : "output left behind by a failed conversion");
  }
  if (!WorkDir::Temporaries().empty())
    Fail("a temporary left behind: " + WorkDir::Temporaries()[0]);

  const ShpFacts facts = WalkShp(pair.shp);
  const bool refusedShown = host.Messages.size() == 1 &&
                            host.Messages[0].Kind == MessageKind::Error &&
                            host.Messages[0].Text == kInvalidShpText;
  if (facts.header == ShpHeader::Refused) {
    if (!refusedShown) Fail("a refused header without its message");
  } else if (!host.Messages.empty()) {
    Fail("a message for a header that is not refused: " + host.Messages[0].Text);
  }
  if (!result && summary.FailureReason.empty()) Fail("a failure without a reason");
  if (facts.header != ShpHeader::Accepted) {
    if (result) Fail("success on a header that was cut or refused");
    return;
  }
  if (result) {
    const std::string mifText = test::ReadFile(mif);
    const std::string midText = test::ReadFile(mid);
    if (mifText.find("\r\nData\r\n\r\n") == std::string::npos) Fail("no Data line after a header");
    if (!facts.complete) Fail("success on a shapefile with a broken record");
    // A deleted record hides its shape, whatever its kind; nothing else goes missing.
    int64_t skipped = 0, expectedSkipped = 0;
    for (const auto& [type, n] : summary.SkippedByShapeType) skipped += n;
    for (const auto& [type, n] : facts.skipped) expectedSkipped += n;
    if (summary.Objects > facts.objects || skipped > expectedSkipped ||
        summary.Objects + skipped + summary.DeletedSkipped != facts.objects + expectedSkipped) {
      Fail("objects differ from the shapefile's records");
    }
    if (summary.MidRows != summary.Objects) Fail("MID rows and objects out of step");
    if (CountOf(midText, "\r\n") != static_cast<size_t>(summary.MidRows))
      Fail("MID rows miscounted");
  } else if (facts.complete && TableIsWhole(pair.dbf)) {
    Fail("failure on a whole shapefile with a whole table");
  }
}

// --- Table --------------------------------------------------------------------------------

namespace {

struct TableLayout {
  int64_t headerLength = 0;
  int64_t recordLength = 0;
  int32_t count = 0;
  bool mdx = false;
  bool dbase7 = false;
  std::vector<int64_t> offsets;  // of each field inside a record
  std::vector<int> widths;
  std::vector<char> types;
};

// The layout as the header and descriptors state it, read here on its own: descriptors of 32
// bytes from offset 32, or of 48 from 68 in dBASE 7, up to a 0x0D or the header length.
std::optional<TableLayout> LayoutOf(std::string_view dbf) {
  if (dbf.size() < 32) return std::nullopt;
  const auto* b = reinterpret_cast<const unsigned char*>(dbf.data());
  TableLayout t;
  t.count = GetLE32(b + 4);
  t.headerLength = GetLE16(b + 8);
  t.recordLength = GetLE16(b + 10);
  t.mdx = b[28] != 0;
  t.dbase7 = b[0] == 0x04 || b[0] == 0x8C;
  const int64_t start = t.dbase7 ? 68 : 32, size = t.dbase7 ? 48 : 32;
  const int64_t typeAt = t.dbase7 ? 32 : 11, widthAt = t.dbase7 ? 33 : 16;
  int64_t offset = 1;
  for (int64_t at = start;
       at + size <= t.headerLength && at + size <= static_cast<int64_t>(dbf.size()); at += size) {
    if (b[at] == 0x0D) break;
    t.offsets.push_back(offset);
    t.widths.push_back(b[at + widthAt]);
    t.types.push_back(static_cast<char>(b[at + typeAt]));
    offset += t.widths.back();
  }
  return t;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view TrimControls(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

// [+-]?(d+(.d*)?|.d+)([eE][+-]?d+)?: the plain decimal forms every reader must accept.
bool PlainDecimal(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i == s.size() || !(s[i] >= '0' && s[i] <= '9')) return false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  }
  return i == s.size();
}

bool ValidDate(int y, int m, int d) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

uint64_t BE64(std::string_view raw) {
  uint64_t v = 0;
  for (size_t k = 0; k < 8; ++k) v = (v << 8) | static_cast<unsigned char>(raw[k]);
  return v;
}

// The day number (1 = 0001-01-01) that a binary date-time field holds, or 0 for none.
int64_t BinaryDayOf(char type, bool dbase7, std::string_view raw) {
  if (type == '@' && dbase7) {
    // Either sign form of a double of milliseconds.
    const double ms = std::bit_cast<double>(BE64(raw) & ~(uint64_t{1} << 63));
    if (!(ms >= 86400000.0 && ms < 1e300)) return 0;
    return static_cast<int64_t>(ms / 86400000.0);
  }
  return int64_t{GetLE32(raw.data())} - 1721425;  // from the Julian day number
}

// One field of the current record: the typed value, its text, and the raw bytes must agree.
void CheckField(TLocalDbf& table, int i, std::string_view raw, char type, bool dbase7,
                const RegionalSettings& regional, std::string& row) {
  const TFieldDef& def = table.FieldDef(i);
  const TDbfValue v = table.FieldValue(i);
  const std::string text = table.FieldAsString(i);
  std::string appended = "\x01";
  table.AppendFieldAsString(i, appended);
  if (appended.substr(1) != text) Fail("AppendFieldAsString differs from FieldAsString");

  using K = TDbfValue::Kind;
  std::string expected;
  switch (def.DataType) {
    case TFieldType::ftString: {
      if (v.kind() != K::String) Fail("a text field without a text value");
      std::string_view s = raw;
      while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
      s = s.substr(0, std::min(s.size(), s.find('\0')));
      if (v.AsText() != s) Fail("text value differs from the field's bytes");
      expected = v.AsText();
      break;
    }
    case TFieldType::ftInteger: {
      if (type == 'I' || type == '+') {
        if (raw.size() != 4) Fail("a binary integer field not 4 bytes wide");
        std::optional<int32_t> n = GetLE32(raw.data());
        if (dbase7) {
          const auto bits = static_cast<uint32_t>(GetBE32(raw.data()));
          n = bits == 0 ? std::nullopt
                        : std::optional<int32_t>(static_cast<int32_t>(bits ^ 0x80000000u));
        }
        if (n.has_value() != !v.IsNull() ||
            (n && (v.kind() != K::Integer || v.AsInteger() != *n))) {
          Fail("binary integer field misread");
        }
        if (n) expected = std::to_string(*n);
        break;
      }
      const std::string_view s = TrimControls(raw);
      const std::string_view digits = !s.empty() && s[0] == '-' ? s.substr(1) : s;
      if (AllDigits(digits) && digits.size() < 12) {
        const long long n = std::strtoll(std::string(s).c_str(), nullptr, 10);
        if (n >= INT32_MIN && n <= INT32_MAX && (v.kind() != K::Integer || v.AsInteger() != n)) {
          Fail("integer field misread: " + std::string(s));
        }
      }
      if (!v.IsNull() && v.kind() != K::Integer) Fail("integer field of another kind");
      if (!v.IsNull()) expected = std::to_string(v.AsInteger());
      break;
    }
    case TFieldType::ftLargeint: {
      // Any number of digits: the text is the digits themselves, the value when they fit.
      const std::string_view s = TrimControls(raw);
      const std::string_view digits = !s.empty() && (s[0] == '-' || s[0] == '+') ? s.substr(1) : s;
      if (AllDigits(digits) && !digits.empty()) {
        const size_t nonZero = std::min(digits.find_first_not_of('0'), digits.size() - 1);
        const std::string_view kept = digits.substr(nonZero);
        expected = (s[0] == '-' && kept != "0" ? "-" : "") + std::string(kept);
      }
      if (!v.IsNull() && v.kind() != K::Largeint) Fail("wide integer field of another kind");
      break;
    }
    case TFieldType::ftFloat: {
      if (type == 'O' || type == 'B') {
        if (raw.size() != 8) Fail("a binary double field not 8 bytes wide");
        double d = GetLEDouble(raw.data());
        if (dbase7) {
          const uint64_t bits = BE64(raw);
          d = std::bit_cast<double>(bits >> 63 ? bits & ~(uint64_t{1} << 63) : ~bits);
        }
        const bool isNull = !std::isfinite(d);
        if (isNull != v.IsNull() || (!isNull && (v.kind() != K::Float || !(v.AsFloat() == d)))) {
          Fail("binary double field misread");
        }
        if (!isNull) expected = reference::GeneralText(d, regional.DecimalSeparator);
        break;
      }
      const std::string_view s = TrimControls(raw);
      if (PlainDecimal(s)) {
        errno = 0;
        const double d = std::strtod(std::string(s).c_str(), nullptr);
        // Beyond the range of a double the reader may give no value, as it does for an
        // integer beyond 32 bits.
        const bool outOfRange = errno == ERANGE;
        if (!(outOfRange && v.IsNull()) && (v.kind() != K::Float || !(v.AsFloat() == d))) {
          Fail("float field misread: " + std::string(s));
        }
      }
      if (!v.IsNull() && v.kind() != K::Float) Fail("float field of another kind");
      if (!v.IsNull()) expected = reference::GeneralText(v.AsFloat(), regional.DecimalSeparator);
      break;
    }
    case TFieldType::ftDate: {
      if (type == 'T' || type == '@') {
        if (raw.size() != 8) Fail("a date-time field not 8 bytes wide");
        const int64_t day = BinaryDayOf(type, dbase7, raw);
        const bool isNull = day < 1 || day > 3652059;  // to 9999-12-31
        if (isNull != v.IsNull() ||
            (!isNull && (v.kind() != K::Date || v.AsDate().DayNumber() != day))) {
          Fail("date-time field misread");
        }
      } else if (raw.size() >= 8 && AllDigits(raw.substr(0, 8))) {
        const int y = std::atoi(std::string(raw.substr(0, 4)).c_str());
        const int m = std::atoi(std::string(raw.substr(4, 2)).c_str());
        const int d = std::atoi(std::string(raw.substr(6, 2)).c_str());
        if (ValidDate(y, m, d) && (v.kind() != K::Date || !(v.AsDate() == TDbfDate{y, m, d}))) {
          Fail("date field misread: " + std::string(raw.substr(0, 8)));
        }
      }
      if (!v.IsNull()) {
        if (v.kind() != K::Date) Fail("date field of another kind");
        const TDbfDate d = v.AsDate();
        if (!ValidDate(d.Year, d.Month, d.Day)) Fail("an impossible date");
        expected =
            ShortDateText(d.Year, d.Month, d.Day, regional.ShortDateFormat, regional.DateSeparator);
      }
      break;
    }
    case TFieldType::ftBoolean: {
      const char c = raw.empty() ? ' ' : raw[0];
      const bool truth = std::strchr("TtYy", c) != nullptr && c != '\0';
      const bool isNull = !truth && (std::strchr("FfNn", c) == nullptr || c == '\0');
      if (isNull != v.IsNull() || (!isNull && (v.kind() != K::Boolean || v.AsBoolean() != truth))) {
        Fail("logical field misread");
      }
      if (!isNull) expected = truth ? "True" : "False";
      break;
    }
    case TFieldType::ftUnknown:
      Fail("a field of unknown type in an open table");
  }
  if (text != expected) Fail("FieldAsString '" + text + "' where '" + expected + "' was due");
  row += text;
  row += '\x1F';
}

struct WalkResult {
  bool opened = false;
  bool readFailed = false;
  std::vector<int32_t> recnos;
  std::vector<std::string> rows;
};

WalkResult WalkTable(const std::string& path, std::string_view data, const TableLayout& layout,
                     bool readOnly, bool showDeleted) {
  WalkResult w;
  RegionalSettings regional;
  TLocalDbf table;
  table.SetTableName(path);
  table.SetReadOnly(readOnly);
  table.SetShowDeleted(showDeleted);
  table.SetRegional(regional);
  try {
    table.Open();
  } catch (const Exception&) {
    return w;
  }
  w.opened = true;
  if (table.RecordCount() != layout.count) Fail("RecordCount differs from the header");
  if (static_cast<size_t>(table.FieldCount()) > layout.widths.size())
    Fail("more fields than descriptors");

  try {
    for (table.First(); !table.Eof(); table.Next()) {
      if (w.recnos.size() >= static_cast<size_t>(layout.count)) Fail("walked past the last record");
      const int32_t recno = table.RecNo();
      if (recno < 1 || recno > layout.count || (!w.recnos.empty() && recno <= w.recnos.back())) {
        Fail("record numbers out of order: " + std::to_string(recno));
      }
      const int64_t start = layout.headerLength + int64_t{recno - 1} * layout.recordLength;
      if (start + layout.recordLength > static_cast<int64_t>(data.size())) {
        Fail("a record shown that the file does not hold");
      }
      if (!showDeleted && data[static_cast<size_t>(start)] == '*') Fail("a deleted record shown");
      std::string row;
      for (int i = 0; i < table.FieldCount(); ++i) {
        if (layout.offsets[i] + layout.widths[i] > layout.recordLength) {
          Fail("a field reaches past the end of its record");
        }
        const std::string_view raw =
            data.substr(static_cast<size_t>(start + layout.offsets[i]), layout.widths[i]);
        CheckField(table, i, raw, layout.types[i], layout.dbase7, regional, row);
      }
      w.recnos.push_back(recno);
      w.rows.push_back(std::move(row));
    }
    std::vector<int32_t> backwards;
    for (table.Last(); !table.Bof(); table.Prior()) {
      if (backwards.size() >= static_cast<size_t>(layout.count))
        Fail("walked before the first record");
      backwards.push_back(table.RecNo());
    }
    std::reverse(backwards.begin(), backwards.end());
    if (backwards != w.recnos) Fail("walking backwards shows other records than forwards");
  } catch (const Exception&) {
    w.readFailed = true;
  }

  if (TableIsWhole(data)) {
    if (w.readFailed) Fail("a whole table failed to read");
    std::vector<int32_t> visible;
    for (int32_t r = 1; r <= layout.count; ++r) {
      const char flag =
          data[static_cast<size_t>(layout.headerLength + int64_t{r - 1} * layout.recordLength)];
      if (showDeleted || flag != '*') visible.push_back(r);
    }
    if (visible != w.recnos) Fail("the visible records are not the live ones");
  }
  return w;
}

}  // namespace

void ReadTable(std::string_view data) {
  const std::string path = WorkDir::File("t.dbf");
  test::WriteFile(path, std::string(data));
  const std::optional<TableLayout> layout = LayoutOf(data);
  WalkResult hidden, shown;
  try {
    if (!layout) {
      TLocalDbf table;
      table.SetTableName(path);
      table.SetReadOnly(true);
      try {
        table.Open();
      } catch (const Exception&) {
        ExpectUnchanged(path, data, "the table");
        return;
      }
      Fail("a table shorter than its header opened");
    }
    hidden = WalkTable(path, data, *layout, true, false);
    shown = WalkTable(path, data, *layout, true, true);
    // Opening reads up to the first visible record, so a cut record after deleted ones stops
    // only the open that passes them over; a whole table opens either way or neither.
    if (TableIsWhole(data) && hidden.opened != shown.opened) {
      Fail("ShowDeleted changed whether a whole table opens");
    }

    // The conversion opens writable, which reads through a window of its own: it must show
    // the very rows a read-only open shows, and refuse what a read-only open refuses.
    TLocalDbf table;
    table.SetTableName(path);
    bool opened = true;
    try {
      table.Open();
    } catch (const Exception&) {
      opened = false;
    }
    if (layout->mdx && opened) Fail("a table with a production index opened writable");
    if (!layout->mdx && hidden.opened && !hidden.readFailed && !opened) {
      Fail("a table that reads read-only refused a writable open");
    }
    if (!hidden.opened && opened) Fail("a writable open accepted what a read-only open refused");
    if (opened) table.Close();
    if (opened && !hidden.readFailed) {
      const WalkResult writable = WalkTable(path, data, *layout, false, false);
      if (writable.readFailed || writable.recnos != hidden.recnos || writable.rows != hidden.rows) {
        Fail("a writable open reads other rows than a read-only one");
      }
    }
  } catch (...) {
    ReportUnexpectedError();
  }
  ExpectUnchanged(path, data, "the table");
  ExpectNoDescriptorLeak();
}

// --- Batch file ---------------------------------------------------------------------------

namespace {

// The comma-text rules as a state machine over one character at a time, written from their
// description rather than from the production scanner, so that a fault in one is not
// repeated in the other. A comma that is the line's last character always ends in one more
// empty field; a comma where a field should start stands for an empty field.
std::vector<std::string> CsvFieldsReference(std::string_view line) {
  enum class State { FieldStart, Plain, Quoted, QuoteSeen, AfterField };
  auto blank = [](unsigned char b) { return b >= 1 && b <= 32; };
  std::vector<std::string> fields;
  std::string field;
  State state = State::FieldStart;
  auto emit = [&] {
    fields.push_back(field);
    field.clear();
  };
  for (size_t i = 0; i < line.size() && line[i] != '\0'; ++i) {
    const char c = line[i];
    const bool isBlank = blank(static_cast<unsigned char>(c));
    const bool lastChar = i + 1 == line.size() || line[i + 1] == '\0';
    switch (state) {
      case State::Quoted:
        if (c == '"') {
          state = State::QuoteSeen;
        } else {
          field += c;
        }
        continue;
      case State::QuoteSeen:
        if (c == '"') {  // two quotes inside a quoted field are one
          field += c;
          state = State::Quoted;
          continue;
        }
        emit();
        state = State::AfterField;
        break;  // the character after the closing quote is read as if after a field
      case State::Plain:
        if (c != ',' && !isBlank) {
          field += c;
          continue;
        }
        emit();
        state = State::AfterField;
        break;
      case State::FieldStart:
      case State::AfterField:
        break;
    }
    // Between fields: state is FieldStart or AfterField.
    if (isBlank) continue;
    if (c == ',') {
      if (state == State::FieldStart) emit();
      if (lastChar) emit();
      state = State::FieldStart;
    } else if (c == '"') {
      state = State::Quoted;
    } else {
      field += c;
      state = State::Plain;
    }
  }
  if (state == State::Plain || state == State::Quoted || state == State::QuoteSeen) emit();
  return fields;
}

bool SameRows(const std::vector<TBatchRow>& a, const std::vector<TBatchRow>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].IndexText != b[i].IndexText || a[i].SourcePath != b[i].SourcePath ||
        a[i].TargetPath != b[i].TargetPath || a[i].DisplayText != b[i].DisplayText) {
      return false;
    }
  }
  return true;
}

}  // namespace

void LoadBatchFile(std::string_view data) {
  const std::string path = WorkDir::File("batch.txt");
  test::WriteFile(path, std::string(data));
  try {
    const std::vector<std::string> lines = ReadBatchLines(path);
    if (lines != SplitLines(data.substr(0, std::min(data.size(), data.find('\0'))))) {
      Fail("batch lines split otherwise than CR LF, LF, CR and NUL say");
    }
    bool combine = false;
    std::string combineName;
    std::vector<TBatchRow> rows;
    bool parsed = false;
    try {
      parsed = ParseBatchLines(lines, combine, combineName, rows);
    } catch (const Exception&) {
      return;
    }
    if (!parsed) {
      if (!rows.empty()) Fail("rows from a file that is no batch list");
      return;
    }
    if (rows.size() + 4 != lines.size()) Fail("a row line lost or added");
    if (combineName != lines[3]) Fail("the combined name was changed");
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::vector<std::string> f = CsvFieldsReference(lines[i + 4]);
      auto field = [&](size_t k) { return k < f.size() ? f[k] : std::string(); };
      if (rows[i].IndexText != field(0) || rows[i].SourcePath != field(1) ||
          rows[i].TargetPath != field(2)) {
        Fail("a row line split otherwise than the comma-text rules say");
      }
      const int index = BatchRowIndex(rows[i]);
      if (index < 0 || index >= kCoordSysCount) Fail("an index outside the catalogue accepted");
      if (rows[i].DisplayText != GetCoordSysDisplayText(index)) Fail("display text not derived");
    }
    if (!BatchRowsCanBeSaved(rows)) return;
    WriteBatchFile(path, combine, combineName, rows);
    bool combine2 = !combine;
    std::string combineName2;
    std::vector<TBatchRow> rows2;
    if (!ParseBatchLines(ReadBatchLines(path), combine2, combineName2, rows2) ||
        combine2 != combine || combineName2 != combineName || !SameRows(rows, rows2)) {
      Fail("a saved batch list does not load back as it was");
    }
  } catch (...) {
    ReportUnexpectedError();
  }
}

void CsvField(std::string_view data) {
  if (data.empty()) return;
  const int n = static_cast<signed char>(data[0]);
  const std::string_view line = data.substr(1);
  const std::vector<std::string> fields = CsvFieldsReference(line);
  auto expected = [&](int k) {
    return k >= 1 && static_cast<size_t>(k) <= fields.size() ? fields[static_cast<size_t>(k - 1)]
                                                             : std::string();
  };
  const int count = static_cast<int>(fields.size());
  for (int k : {n, 0, -1, 1, 2, 3, count, count + 1}) {
    if (GetCsvField(line, k) != expected(k)) Fail("field " + std::to_string(k) + " differs");
  }
  for (int k = 4; k < count && k < 64; ++k) {
    if (GetCsvField(line, k) != expected(k)) Fail("field " + std::to_string(k) + " differs");
  }
}

// --- Profile file -------------------------------------------------------------------------

void ProfileFile(std::string_view data) {
  const std::string path = WorkDir::File("plexor.INI");
  test::WriteFile(path, std::string(data));
  static constexpr const char* kKeys[] = {"Left", "Top", "Width", "Height", "State"};
  static constexpr const char* kUpperKeys[] = {"LEFT", "TOP", "WIDTH", "HEIGHT", "STATE"};
  static constexpr int32_t kDefaults[] = {20, 20, 700, 500, 0};
  try {
    int32_t before[5];
    {
      const TProfileFile ini(path);
      for (int k = 0; k < 5; ++k) {
        const std::string text = ini.ReadString("Window", kKeys[k], "");
        if (ini.ReadString("WINDOW", kUpperKeys[k], "") != text) Fail("names matched with case");
        int32_t parsed = 0;
        const int32_t expected = ParseProfileInteger(text, parsed) ? parsed : kDefaults[k];
        before[k] = ini.ReadInteger("Window", kKeys[k], kDefaults[k]);
        if (before[k] != expected) Fail("ReadInteger differs from the text it read");
      }
      ExpectUnchanged(path, data, "the profile file");
    }

    uint32_t hash = 2166136261u;
    for (char c : data) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const auto value = static_cast<int32_t>(hash);
    {
      TProfileFile ini(path);
      ini.WriteInteger("Window", "Left", value);
    }
    const TProfileFile again(path);
    if (again.ReadInteger("Window", "Left", 0) != value) Fail("a written value did not read back");
    for (int k = 1; k < 5; ++k) {
      if (again.ReadInteger("Window", kKeys[k], kDefaults[k]) != before[k]) {
        Fail(std::string("writing Left changed ") + kKeys[k]);
      }
    }
    // Everything else stays: one line replaced, one key line added, or a section appended.
    const std::vector<std::string> old = SplitLines(data);
    const std::vector<std::string> now = SplitLines(test::ReadFile(path));
    if (now.size() == old.size()) {
      size_t differ = 0;
      for (size_t i = 0; i < old.size(); ++i) differ += old[i] != now[i];
      if (differ > 1) Fail("lines other than the key's were changed");
    } else if (now.size() == old.size() + 1 || now.size() == old.size() + 2) {
      size_t j = 0;
      for (size_t i = 0; i < now.size() && j < old.size(); ++i) j += now[i] == old[j];
      if (j != old.size()) Fail("lines were lost when a key was added");
    } else {
      Fail("the file grew or shrank by more than a key");
    }
  } catch (...) {
    ReportUnexpectedError();
  }
}

// --- Number and date texts ----------------------------------------------------------------

namespace {

// The short date tokens as documented: a run of one letter (either case) is one token.
std::string ShortDateReference(int year, int month, int day, std::string_view format, char sep) {
  auto padded = [](int value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
    return s;
  };
  std::string out;
  size_t i = 0;
  while (i < format.size()) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
    if (lower != 'y' && lower != 'm' && lower != 'd') {
      out += format[i] == '/' ? sep : format[i];
      ++i;
      continue;
    }
    size_t run = 0;
    while (i + run < format.size() &&
           std::tolower(static_cast<unsigned char>(format[i + run])) == lower) {
      ++run;
    }
    if (lower == 'y')
      out += run >= 3 ? padded(year, 4) : padded(year % 100, 2);
    else
      out += padded(lower == 'm' ? month : day, run >= 2 ? 2 : 1);
    i += run;
  }
  return out;
}

}  // namespace

void NumberTexts(std::string_view data) {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, data.data(), std::min<size_t>(8, data.size()));
  const double value = GetLEDouble(bytes);
  const char sep = data.size() > 8 ? data[8] : '.';

  // Exactly kNumberTextMax bytes, so that the sanitizer sees a text that does not fit.
  const auto buffer = std::make_unique<char[]>(kNumberTextMax);
  const std::string general(buffer.get(), FormatGeneral(value, sep, buffer.get()));
  const std::string expectedGeneral = reference::GeneralText(value, sep);
  if (general != expectedGeneral)
    Fail("general text " + general + " where " + expectedGeneral + " was due");
  const std::string coord(buffer.get(), FormatCoord(value, sep, buffer.get()));
  const std::string expectedCoord = reference::CoordText(value, sep);
  if (coord != expectedCoord)
    Fail("coordinate text " + coord + " where " + expectedCoord + " was due");

  int64_t integer = 0;
  std::memcpy(&integer, bytes, 8);
  const std::string integerText(buffer.get(), FormatInteger(integer, buffer.get()));
  if (integerText != std::to_string(integer)) Fail("integer text " + integerText);

  if (data.size() < 13) return;
  const auto* d = reinterpret_cast<const unsigned char*>(data.data());
  const int year = 1 + (d[9] | d[10] << 8) % 9999;
  const int month = 1 + d[11] % 12;
  int day = 1 + d[12] % 31;
  while (!ValidDate(year, month, day)) --day;
  const char dateSep = data.size() > 13 ? data[13] : '/';
  const std::string_view format =
      data.size() > 14 ? data.substr(14) : std::string_view("yyyy/mm/dd");
  std::string out = "prefix";
  AppendShortDate(year, month, day, format, dateSep, out);
  const std::string expected = "prefix" + ShortDateReference(year, month, day, format, dateSep);
  if (out != expected) Fail("date text " + out + " where " + expected + " was due");
}

// --- Registry and seeds -------------------------------------------------------------------

const std::vector<Target>& Targets() {
  static const std::vector<Target> targets = {
      {"convert", ConvertPair}, {"table", ReadTable},     {"batch", LoadBatchFile},
      {"csv", CsvField},        {"profile", ProfileFile}, {"numbers", NumberTexts},
  };
  return targets;
}

const Target* FindTarget(std::string_view name) {
  for (const Target& t : Targets()) {
    if (name == t.Name) return &t;
  }
  return nullptr;
}

}  // namespace plexor::hostile
