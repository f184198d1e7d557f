#include "hostile/HostileTargets.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "dbf/localDbf.h"
#include "engine/Batch.h"
#include "engine/CoordSys.h"
#include "engine/PrjFile.h"
#include "engine/ShapefileInfo.h"
#include "engine/ShpToMif.h"
#include "engine/TableEncoding.h"
#include "engine/Wkt.h"
#include "hostile/StrictJson.h"
#include "support/ByteStrings.h"
#include "support/DbfBuilder.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/FileHandle.h"
#include "support/NumberText.h"
#include "support/NumberTextReference.h"
#include "support/ProfileFile.h"
#include "support/QvCsv.h"
#include "support/QvSysUtils.h"
#include "support/ShpBuilder.h"
#include "support/TextEncoding.h"
#include "ui/FakeMainView.h"
#include "ui/Placement.h"

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

// Whether the records of a .shp must convert: Whole when every record is whole and plain,
// Broken when one cannot be read, Undecided when one is of a kind whose fate is the reader's
// choice (a record too short for a type, Z or M values cut, parts that overlap or run
// backwards, a shape without points). Broken wins over Undecided.
enum class Verdict { Whole, Undecided, Broken };

// What the bytes of a .shp should give, worked out here without the reader: the header's
// fate, the records' verdict, and the objects and passed-over records by type. Every record
// ends where its content length says, whatever its counts or its .dbf deletion flag say.
struct ShpFacts {
  ShpHeader header = ShpHeader::Cut;
  Verdict verdict = Verdict::Broken;
  int64_t objects = 0;
  int64_t zm = 0;  // objects of the Z and M kinds
  std::map<int32_t, int64_t> skipped;
};

bool IsZKind(int32_t type) {
  return type == 11 || type == 13 || type == 15 || type == 18;
}
bool IsMKind(int32_t type) {
  return type == 21 || type == 23 || type == 25 || type == 28;
}

// The verdict of one record's content (the bytes after its shape type) by its kind; nullopt
// for the kinds that are passed over.
std::optional<Verdict> RecordVerdict(int32_t type, const unsigned char* body, int64_t bytes) {
  // Z kinds carry a Z range and values, M kinds an M range and values; the M block of a Z
  // kind is optional.
  auto extra = [&](int64_t points) { return IsZKind(type) || IsMKind(type) ? 16 + 8 * points : 0; };
  switch (type) {
    case 1:
    case 11:
    case 21: {
      if (bytes < 16) return Verdict::Broken;
      const int64_t full = type == 1 ? 16 : 24;
      return bytes >= full ? Verdict::Whole : Verdict::Undecided;
    }
    case 3:
    case 5:
    case 13:
    case 15:
    case 23:
    case 25: {
      if (bytes < 40) return Verdict::Broken;
      const int32_t parts = GetLE32(body + 32);
      const int32_t points = GetLE32(body + 36);
      if (parts < 0 || points < 0) return Verdict::Broken;
      const int64_t xy = 40 + int64_t{parts} * 4 + int64_t{points} * 16;
      if (xy > bytes) return Verdict::Broken;
      Verdict v = xy + extra(points) <= bytes ? Verdict::Whole : Verdict::Undecided;
      if (parts == 0 || points == 0) return Verdict::Undecided;
      int64_t previous = -1;
      for (int32_t k = 0; k < parts; ++k) {
        const int64_t first = GetLE32(body + 40 + 4 * k);
        // A part starting outside the points is no shape any reader could draw.
        if (first < 0 || first > points) return Verdict::Broken;
        if ((k == 0 && first != 0) || first <= previous || first == points) {
          v = Verdict::Undecided;
        }
        previous = first;
      }
      return v;
    }
    case 8:
    case 18:
    case 28: {
      if (bytes < 36) return Verdict::Broken;
      const int32_t points = GetLE32(body + 32);
      if (points < 0) return Verdict::Broken;
      const int64_t xy = 36 + int64_t{points} * 16;
      if (xy > bytes) return Verdict::Broken;
      if (points == 0) return Verdict::Undecided;
      return xy + extra(points) <= bytes ? Verdict::Whole : Verdict::Undecided;
    }
    default:
      return std::nullopt;
  }
}

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

  Verdict verdict = Verdict::Whole;
  int64_t pos = 100;
  while (pos < size) {
    // A file that ends inside a record header, or inside the content its header claims, has
    // lost a record.
    if (size - pos < 8) return f;
    // Nothing but zeros after the last record is padding some writers leave.
    if (std::all_of(shp.begin() + pos, shp.end(), [](char c) { return c == 0; })) break;
    const int64_t contentLength = GetBE32(b + pos + 4);
    if (contentLength < 0 || 8 + 2 * contentLength > size - pos) return f;
    if (contentLength < 2) {
      // No room for a shape type: a cut record, or a record of nothing.
      verdict = Verdict::Undecided;
      ++f.skipped[0];
      pos += 8 + 2 * contentLength;
      continue;
    }
    const int32_t type = GetLE32(b + pos + 8);
    const std::optional<Verdict> v = RecordVerdict(type, b + pos + 12, 2 * contentLength - 4);
    if (!v) {
      ++f.skipped[type];
    } else if (*v == Verdict::Broken) {
      return f;
    } else {
      if (*v == Verdict::Undecided) verdict = Verdict::Undecided;
      ++f.objects;
      if (IsZKind(type) || IsMKind(type)) ++f.zm;
    }
    pos += 8 + 2 * contentLength;
  }
  f.verdict = verdict;
  return f;
}

// No object or section of the MIF states a negative count, and a shape of several sections
// has no empty one: both come only from parts that overlap or run backwards, and MIF
// readers refuse them.
bool MifCountsAreSound(std::string_view mif) {
  size_t at = mif.find("\r\nData\r\n");
  if (at == std::string_view::npos) return true;
  at += 8;
  bool severalSections = false;
  while (at < mif.size()) {
    size_t end = mif.find("\r\n", at);
    if (end == std::string_view::npos) end = mif.size();
    const std::string_view line = mif.substr(at, end - at);
    at = end + 2;
    std::string_view count;
    bool object = false;
    bool multiSection = false;
    for (std::string_view keyword : {"PLine MultiPle ", "Region ", "Multipoint ", "PLine "}) {
      if (line.substr(0, keyword.size()) == keyword) {
        count = line.substr(keyword.size());
        object = true;
        multiSection = keyword == "PLine MultiPle " || keyword == "Region ";
        break;
      }
    }
    if (!object) {
      if (line.substr(0, 2) != "  ") continue;  // a point line, a Point, a blank line
      count = line.substr(2);
    }
    int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(count.data(), count.data() + count.size(), value);
    if (ec != std::errc() || ptr != count.data() + count.size()) continue;
    if (value < 0) return false;
    if (object) {
      severalSections = multiSection && value > 1;
    } else if (severalSections && value == 0) {
      return false;
    }
  }
  return true;
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
    if (facts.verdict == Verdict::Broken) Fail("success on a shapefile with a broken record");
    if (!MifCountsAreSound(mifText)) Fail("a negative or empty section count in the MIF");
    // A deleted record hides its shape, whatever its kind; nothing else goes missing.
    int64_t skipped = 0, expectedSkipped = 0;
    for (const auto& [type, n] : summary.SkippedByShapeType) skipped += n;
    for (const auto& [type, n] : facts.skipped) expectedSkipped += n;
    if (summary.Objects > facts.objects || skipped > expectedSkipped ||
        summary.Objects + skipped + summary.DeletedSkipped != facts.objects + expectedSkipped) {
      Fail("objects differ from the shapefile's records");
    }
    // Z and M records are converted too, as their 2-D kinds; only deleted ones are passed over.
    if (summary.FromZM > facts.zm || summary.FromZM + summary.DeletedSkipped < facts.zm)
      Fail("Z and M objects miscounted");
    if (summary.MidRows != summary.Objects) Fail("MID rows and objects out of step");
    if (CountOf(midText, "\r\n") != static_cast<size_t>(summary.MidRows))
      Fail("MID rows miscounted");
  } else if (facts.verdict == Verdict::Whole && TableIsWhole(pair.dbf)) {
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
    // A table that may be written needs more: names that tell its fields apart, and room
    // for a terminator and a deletion flag even when it holds nothing.
    TLocalDbf table;
    table.SetTableName(path);
    bool opened = true;
    bool writableNeedsMore = layout->mdx || layout->count == 0;
    try {
      table.Open();
    } catch (const Exception& e) {
      opened = false;
      writableNeedsMore = writableNeedsMore || e.Message().find("重複") != std::string::npos;
    }
    if (layout->mdx && opened) Fail("a table with a production index opened writable");
    if (!writableNeedsMore && hidden.opened && !hidden.readFailed && !opened) {
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

// The line of the first control byte other than TAB, CR and LF (DEL counts); 0 when there is
// none.
size_t LineOfControlByte(std::string_view data) {
  size_t line = 1;
  for (size_t i = 0; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
      ++line;
    } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
      return line;
    }
  }
  return 0;
}

// The lines of a batch file that make up the list: the UTF-8 byte order mark and the blank
// lines after the fourth are no part of it.
std::vector<std::string> ListLines(std::vector<std::string> lines) {
  if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
  auto blank = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= 32; });
  };
  while (lines.size() > 4 && blank(lines.back())) lines.pop_back();
  return lines;
}

// A refusal of a file holding a control byte names the byte's line.
void ExpectControlByteRefused(size_t line, const std::string& message) {
  if (message.find(std::to_string(line) + " 行目") == std::string::npos) {
    Fail("a control byte refused without its line " + std::to_string(line) + ": " + message);
  }
}

}  // namespace

void LoadBatchFile(std::string_view data) {
  const std::string path = WorkDir::File("batch.txt");
  test::WriteFile(path, std::string(data));
  const size_t controlLine = LineOfControlByte(data);
  try {
    std::vector<std::string> lines;
    try {
      lines = ReadBatchLines(path);
    } catch (const Exception& e) {
      if (!controlLine) throw;
      ExpectControlByteRefused(controlLine, e.Message());
      return;
    }
    if (!controlLine && lines != SplitLines(data)) {
      Fail("batch lines split otherwise than CR LF, LF and CR say");
    }
    bool combine = false;
    std::string combineName;
    std::vector<TBatchRow> rows;
    std::string why;
    bool parsed = false;
    try {
      parsed = ParseBatchLines(lines, combine, combineName, rows, {}, &why);
    } catch (const Exception& e) {
      if (controlLine) ExpectControlByteRefused(controlLine, e.Message());
      if (e.Message().find("行目") == std::string::npos)
        Fail("a refused line not named: " + e.Message());
      return;
    }
    if (controlLine) {
      if (parsed)
        Fail("a batch file with a control byte on line " + std::to_string(controlLine) +
             " accepted");
      ExpectControlByteRefused(controlLine, why);
      return;
    }
    if (!parsed) {
      if (!rows.empty()) Fail("rows from a file that is no batch list");
      if (why.empty()) Fail("a refused batch list without a reason");
      return;
    }
    const std::vector<std::string> list = ListLines(lines);
    if (rows.size() + 4 != list.size()) Fail("a row line lost or added");
    if (combineName != list[3]) Fail("the combined name was changed");
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::vector<std::string> f = CsvFieldsReference(list[i + 4]);
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

// --- Several files in one input -----------------------------------------------------------

namespace {

// The options byte and the parts after it; parts beyond the last separator are absent.
std::vector<std::string_view> SplitParts(std::string_view data, unsigned char& options) {
  std::vector<std::string_view> parts;
  options = data.empty() ? 0 : static_cast<unsigned char>(data[0]);
  if (data.empty()) return parts;
  data.remove_prefix(1);
  for (;;) {
    const size_t at = data.find(kPartSeparator);
    parts.push_back(data.substr(0, at));
    if (at == std::string_view::npos) return parts;
    data.remove_prefix(at + kPartSeparator.size());
  }
}

std::string_view PartOf(const std::vector<std::string_view>& parts, size_t i) {
  return i < parts.size() ? parts[i] : std::string_view();
}

// Texts for people are UTF-8 and hold no control bytes.
void ExpectShownText(const std::string& text, const char* what) {
  if (!IsStrictUtf8(text)) Fail(std::string(what) + " is not UTF-8: " + text);
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      Fail(std::string(what) + " holds a control byte: " + text);
  }
}

// Writes the file when `present`, removes it (in both spellings of its extension) when not.
void PlaceFile(const std::string& lower, const std::string& upper, bool present, bool capitals,
               std::string_view bytes) {
  RemoveFile(lower);
  RemoveFile(upper);
  if (present) test::WriteFile(capitals ? upper : lower, std::string(bytes));
}

}  // namespace

std::string JoinParts(unsigned char options, const std::vector<std::string>& parts) {
  std::string data(1, static_cast<char>(options));
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) data.append(kPartSeparator);
    data.append(parts[i]);
  }
  return data;
}

// --- Coordinate-system files --------------------------------------------------------------

namespace {

// The catalogue entry of an EPSG code, from the systems' own numbering: Tokyo's geographic
// system and zones, JGD2000's and JGD2011's, and WGS 84's geographic system.
int EntryOfEpsg(int code) {
  if (code == 4301) return 0;
  if (code == 4326) return 1;
  if (code == 4612 || code == 6668) return 2;
  if (code >= 30161 && code <= 30179) return 3 + code - 30161;
  if (code >= 2443 && code <= 2461) return 22 + code - 2443;
  if (code >= 6669 && code <= 6687) return 22 + code - 6669;
  return -1;
}

void ExpectSoundMatch(const TPrjMatch& m) {
  ExpectShownText(m.Description, "a .prj description");
  ExpectShownText(m.Reason, "a .prj reason");
  if (m.Description.size() > 512 || m.Reason.size() > 512) Fail("a .prj text of unbounded length");
  if (!m.Found) {
    if (m.Index != -1 || m.Reason.empty()) Fail("no match without its reason");
    return;
  }
  if (m.Index < 0 || m.Index >= kCoordSysCount) Fail("a match outside the catalogue");
  if (!m.Reason.empty() || m.Description.empty()) Fail("a match with a reason or without a name");
  const size_t at = m.Description.rfind("(EPSG:");
  const int code = at == std::string::npos ? 0 : std::atoi(m.Description.c_str() + at + 6);
  if (EntryOfEpsg(code) != m.Index)
    Fail("a match whose EPSG code names another entry: " + m.Description);
  if (!PrjDisagreementWarning(m.Index, m).empty()) Fail("a match disagreeing with its own entry");
  if (PrjDisagreementWarning((m.Index + 1) % kCoordSysCount, m).empty())
    Fail("a match agreeing with another entry");
}

bool SameMatch(const TPrjMatch& a, const TPrjMatch& b) {
  return a.Found == b.Found && a.Index == b.Index && a.Description == b.Description &&
         a.Reason == b.Reason;
}

// The tree as WKT again: texts quoted, then numbers, then children, which is the order the
// tree keeps them in within each kind.
void AppendWkt(const WktNode& node, std::string& out) {
  out += node.Keyword;
  out += '[';
  bool first = true;
  auto comma = [&] {
    if (!first) out += ',';
    first = false;
  };
  for (const std::string& text : node.Texts) {
    comma();
    out += '"';
    for (char c : text) out.append(c == '"' ? 2 : 1, c);
    out += '"';
  }
  for (double number : node.Numbers) {
    comma();
    char digits[32];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
  }
  for (const WktNode& child : node.Children) {
    comma();
    AppendWkt(child, out);
  }
  out += ']';
}

bool SameTree(const WktNode& a, const WktNode& b) {
  if (a.Keyword != b.Keyword || a.Texts != b.Texts || a.Children.size() != b.Children.size() ||
      a.Numbers.size() != b.Numbers.size()) {
    return false;
  }
  for (size_t i = 0; i < a.Numbers.size(); ++i) {
    if (std::bit_cast<uint64_t>(a.Numbers[i]) != std::bit_cast<uint64_t>(b.Numbers[i]))
      return false;
  }
  for (size_t i = 0; i < a.Children.size(); ++i) {
    if (!SameTree(a.Children[i], b.Children[i])) return false;
  }
  return true;
}

int DepthOf(const WktNode& node) {
  int deepest = 0;
  for (const WktNode& child : node.Children) deepest = std::max(deepest, DepthOf(child));
  return deepest + 1;
}

}  // namespace

void PrjText(std::string_view data) {
  try {
    const TPrjMatch match = MatchPrjText(data);
    ExpectSoundMatch(match);

    const std::string prj = WorkDir::File("p.prj");
    test::WriteFile(prj, std::string(data));
    const std::optional<TPrjMatch> beside = ReadPrjBeside(WorkDir::File("p.shp"));
    if (!beside || !SameMatch(*beside, match)) Fail("the .prj file reads otherwise than its text");
    ExpectUnchanged(prj, data, "the .prj");
    RemoveFile(prj);

    std::string error;
    const std::optional<WktNode> root = ParseWkt(data, error);
    if (!root) {
      if (error.empty()) Fail("a refused text without its error");
      ExpectShownText(error, "a WKT error");
      if (match.Found) Fail("a match from a text that does not parse");
      return;
    }
    // Written back one level deeper at most (a compound made of the text's parts).
    if (DepthOf(*root) >= 30) return;
    std::string again;
    AppendWkt(*root, again);
    const std::optional<WktNode> reread = ParseWkt(again, error);
    if (!reread) Fail("the tree written back does not parse: " + error);
    if (!SameTree(*root, *reread)) Fail("the tree written back parses to another tree");
    if (data.size() <= kMaxPrjBytes && again.size() <= kMaxPrjBytes &&
        !SameMatch(MatchPrjText(again), match)) {
      Fail("the same tree matches otherwise");
    }
  } catch (...) {
    ReportUnexpectedError();
  }
  ExpectNoDescriptorLeak();
}

// --- Table encoding -----------------------------------------------------------------------

namespace {

enum class TextKind { AsciiOnly, Utf8, NotUtf8, Unknown };

// The last character of a value that fills its field may have been cut by a writer counting
// bytes: drop an incomplete sequence at the very end.
std::string_view WithoutCutEnd(std::string_view value) {
  for (size_t back = 1; back <= 3 && back <= value.size(); ++back) {
    const auto c = static_cast<unsigned char>(value[value.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a trail byte: look further back
    const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return need > back ? value.substr(0, value.size() - back) : value;
  }
  return value;
}

// What the text values of the table are, judged strictly here: UTF-8 when every value is
// well formed, not UTF-8 when one is broken even allowing for a cut last character, Unknown
// in between or when the table cannot be walked.
TextKind TextOfTable(const std::string& path) {
  bool nonAscii = false, strict = true, lenient = true;
  try {
    TLocalDbf table;
    table.SetTableName(path);
    table.SetReadOnly(true);
    table.SetReadAhead(true);
    // Every record counts, deleted ones too, and the fields the conversion can leave out do not.
    table.SetShowDeleted(true);
    table.SetSkipUnsupportedFields(true);
    table.Open();
    for (; !table.Eof(); table.Next()) {
      for (int i = 0; i < table.FieldCount(); ++i) {
        if (table.FieldDef(i).DataType != TFieldType::ftString) continue;
        const std::string text = table.FieldValue(i).AsText();
        for (char c : text) nonAscii = nonAscii || static_cast<unsigned char>(c) >= 0x80;
        strict = strict && IsStrictUtf8(text);
        const bool filled = static_cast<int32_t>(text.size()) == table.FieldDef(i).Size;
        lenient = lenient && IsStrictUtf8(filled ? WithoutCutEnd(text) : std::string_view(text));
      }
    }
  } catch (const Exception&) {
    return TextKind::Unknown;
  }
  if (!nonAscii) return TextKind::AsciiOnly;
  if (strict) return TextKind::Utf8;
  return lenient ? TextKind::Unknown : TextKind::NotUtf8;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Letter case and blanks around a name do not count.
void ExpectNameRules(std::string_view name) {
  if (name.rfind("\xEF\xBB\xBF", 0) == 0) return;  // a byte order mark must come first
  const std::optional<int> named = CodePageFromName(name);
  if (CodePageFromName(LowerAscii(name)) != named) Fail("an encoding name read with its case");
  if (CodePageFromName(" \t" + std::string(name) + "\r\n") != named)
    Fail("an encoding name read with the blanks around it");
}

}  // namespace

void TableEncodingDecision(std::string_view data) {
  unsigned char options = 0;
  const std::vector<std::string_view> parts = SplitParts(data, options);
  const std::string option = options & 1 ? std::string(PartOf(parts, 0)) : std::string();
  const bool hasCpg = options & 2;
  const std::string_view cpg = PartOf(parts, 1);
  const std::string_view dbfBytes = PartOf(parts, 2);
  const std::string shp = WorkDir::File("e.shp");
  const std::string dbf = WorkDir::File("e.dbf");
  PlaceFile(WorkDir::File("e.cpg"), WorkDir::File("e.CPG"), hasCpg, options & 4, cpg);
  test::WriteFile(dbf, std::string(dbfBytes));
  try {
    ExpectNameRules(option);
    ExpectNameRules(cpg.substr(0, 256));
    TEncodingDecision d;
    try {
      d = DecideTableEncoding(shp, dbf, option);
    } catch (const EConvertError& e) {
      // The option is the user's own typing, shown back as typed.
      if (option.empty() || CodePageFromName(option)) Fail("a known encoding refused");
      if (e.Message().find("文字コード") == std::string::npos)
        Fail("an encoding refused without why");
      return;
    }
    ExpectShownText(d.How, "what decided the encoding");
    ExpectShownText(EncodingSummaryText(d), "the encoding summary");
    for (const std::string& w : d.Warnings) ExpectShownText(w, "an encoding warning");
    // The name we tell the user must name the same code page when handed back to us.
    if (CodePageFromName(CodePageName(d.CodePage)) != d.CodePage)
      Fail("the name of code page " + std::to_string(d.CodePage) + " does not read back");

    if (!option.empty()) {
      if (d.CodePage != *CodePageFromName(option) || d.How != "--encoding" || !d.Warnings.empty())
        Fail("the --encoding option did not decide");
      return;
    }
    const TextKind text = TextOfTable(dbf);
    const std::optional<int> fromCpg = hasCpg ? CodePageFromName(cpg.substr(0, 256)) : std::nullopt;
    if (fromCpg) {
      if (d.CodePage != *fromCpg || d.How != ".cpg") Fail("a readable .cpg did not decide");
      const bool contradicted = (*fromCpg == kCodePageUtf8 && text == TextKind::NotUtf8) ||
                                (*fromCpg != kCodePageUtf8 && text == TextKind::Utf8);
      if (contradicted && d.Warnings.empty())
        Fail("a .cpg the text contradicts, without a warning");
      if (text == TextKind::AsciiOnly && !d.Warnings.empty()) Fail("a warning on ASCII text");
      return;
    }
    if (hasCpg && d.Warnings.empty()) Fail("an unreadable .cpg without a warning");
    const std::optional<int> fromDriver =
        dbfBytes.size() > 29 ? CodePageFromLanguageDriver(static_cast<uint8_t>(dbfBytes[29]))
                             : std::nullopt;
    if (fromDriver) {
      if (d.CodePage != *fromDriver || d.How != "言語ドライバー")
        Fail("the language driver did not decide");
      return;
    }
    // The bytes decide among UTF-8, code page 932 and, for text that reads as no code page
    // 932 text, the Western code page, which is never taken without a word.
    const bool western = d.CodePage == 1252;
    if (d.How.rfind("内容", 0) != 0 ||
        (d.CodePage != kCodePageUtf8 && d.CodePage != kCodePageCp932 && !western)) {
      Fail("the text did not decide: " + EncodingSummaryText(d));
    }
    if (western && (d.Warnings.empty() || text == TextKind::Utf8 || text == TextKind::AsciiOnly))
      Fail("a Western code page taken for text that is UTF-8 or ASCII, or without a warning");
    if (!hasCpg && !d.Warnings.empty() && (text == TextKind::Utf8 || text == TextKind::AsciiOnly))
      Fail("a warning on text that is UTF-8 or ASCII");
    if ((text == TextKind::Utf8) != (d.CodePage == kCodePageUtf8) && text != TextKind::Unknown) {
      Fail(text == TextKind::Utf8 ? "UTF-8 text taken for " + CodePageName(d.CodePage)
                                  : "text that is no UTF-8 taken for UTF-8");
    }
  } catch (...) {
    ReportUnexpectedError();
  }
  ExpectUnchanged(dbf, dbfBytes, "the table");
  ExpectNoDescriptorLeak();
}

// --- Batch runs ---------------------------------------------------------------------------

namespace {

// A folder of small shapefiles that batch rows may name: what a run may read, and what it
// must leave as it was.
class BatchFolder {
 public:
  static BatchFolder& Instance() {
    static BatchFolder folder;
    return folder;
  }
  const std::string& Base() const { return base_; }  // with its separator

  // Everything in the folder, by name; a folder inside it as its name with a slash.
  std::map<std::string, std::string> Contents() const {
    std::map<std::string, std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (e.is_regular_file() && !e.is_symlink()) {
        found[name] = test::ReadFile(e.path().string());
      } else {
        found[name + "/"] = {};
      }
    }
    return found;
  }
  bool IsInput(const std::string& name) const { return inputs_.count(name) != 0; }
  const std::map<std::string, std::string>& Inputs() const { return inputs_; }

  // Back to the inputs alone, as they were.
  void Reset() const {
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (!IsInput(name) || !e.is_regular_file() || e.is_symlink()) {
        std::error_code ec;
        std::filesystem::remove_all(e.path(), ec);
      }
    }
    for (const auto& [name, bytes] : inputs_) {
      const std::string path = base_ + name;
      if (!FileExists(path) || test::ReadFile(path) != bytes) test::WriteFile(path, bytes);
    }
  }

 private:
  BatchFolder() {
    dir_ = WorkDir::File("rows");
    std::filesystem::create_directories(dir_);
    base_ = dir_ + "/";
    const std::string names =
        test::DbfBuilder().Field("NAME", 'C', 8).Record({"a"}).Record({"b"}).Bytes();
    inputs_["a.shp"] = test::ShpBuilder().Point(139.5, 35).Point(140, 36).Bytes();
    inputs_["a.dbf"] = names;
    inputs_["a.shx"] = std::string(100, '\0');
    inputs_["a.prj"] =
        "GEOGCS[\"GCS_Tokyo\",DATUM[\"D_Tokyo\",SPHEROID[\"Bessel_1841\",6377397.155,299.1528128]],"
        "PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.0174532925199433]]";
    inputs_["a.cpg"] = "932";
    inputs_["b.shp"] = test::ShpBuilder()
                           .PolyLine({0}, {{0, 0}, {1, 1}})
                           .PolyLine({0, 2}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}})
                           .Bytes();
    inputs_["b.dbf"] = names;
    inputs_["c.shp"] = test::ShpBuilder().Polygon({0}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}}).Bytes();
    inputs_["c.dbf"] = test::DbfBuilder().Field("CODE", 'N', 5).Record({"12"}).Bytes();
    inputs_["道.shp"] = test::ShpBuilder().Point(1, 2).Bytes();
    inputs_["道.dbf"] = test::DbfBuilder().Field("NAME", 'C', 8).Record({"\x93\xb9"}).Bytes();
    inputs_["d.shp"] = test::ShpBuilder().Point(1, 2).Bytes();  // without its table
    Reset();
  }

  std::string dir_;
  std::string base_;
  std::map<std::string, std::string> inputs_;
};

// What one run did.
struct RunOutcome {
  bool started = false;  // RunBatch returned true
  bool raised = false;
  std::vector<TBatchMark> marks;
  std::vector<std::string> reasons;
  std::map<std::string, std::string> contents;
};

// The name of a path inside the folder, or empty when the path leaves it.
std::string NameInFolder(const std::string& path, const std::string& base) {
  if (path.compare(0, base.size(), base) != 0) return {};
  const std::string name = path.substr(base.size());
  return name.find('/') == std::string::npos ? name : std::string();
}

RunOutcome RunRows(std::vector<TBatchRow> rows, const TBatchRunOptions& options) {
  RunOutcome out;
  test::FakeHost host;
  try {
    out.started = RunBatch(rows, options, host);
  } catch (const Exception& e) {
    out.raised = true;
    if (e.Message().empty()) Fail("a run ended by an error without a message");
  } catch (const std::exception& e) {
    Fail(std::string("a run ended by an error outside the hierarchy: ") + e.what());
  }
  if (!out.started && !out.raised) {
    if (host.Messages.empty() || host.Messages[0].Kind != MessageKind::Warning)
      Fail("a run refused without a warning");
  }
  for (const TBatchRow& row : rows) {
    out.marks.push_back(row.Mark);
    out.reasons.push_back(row.Reason);
  }
  out.contents = BatchFolder::Instance().Contents();
  return out;
}

void ExpectSoundRun(const RunOutcome& run, const std::vector<TBatchRow>& rows,
                    const TBatchRunOptions& options) {
  const BatchFolder& folder = BatchFolder::Instance();
  for (const auto& [name, bytes] : folder.Inputs()) {
    const auto it = run.contents.find(name);
    if (it == run.contents.end() || it->second != bytes)
      Fail("a batch run changed its input " + name);
  }
  std::map<std::string, bool> written;  // the outputs the run may leave
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::array<std::string, 4> files = BatchRowFiles(rows[i]);
    if (run.marks[i] == TBatchMark::Converted) {
      for (int k : {2, 3}) {
        const std::string name = NameInFolder(files[k], folder.Base());
        if (!run.contents.count(name)) Fail("a converted row without its " + name);
        written[name] = true;
      }
    } else if (run.marks[i] == TBatchMark::Failed) {
      if (run.reasons[i].empty()) Fail("a failed row without a reason");
      ExpectShownText(run.reasons[i], "a row's reason");
    } else if (run.started) {
      Fail("a row left unmarked by a whole run");
    }
  }
  const std::string combinedMif = NameInFolder(options.CombineName, folder.Base());
  const std::string combinedMid = NameInFolder(MidPathOf(options.CombineName), folder.Base());
  if (options.Combine && run.started && run.contents.count(combinedMif)) {
    // The tables one after the other, in list order.
    std::string mid;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (run.marks[i] != TBatchMark::Converted) continue;
      mid += run.contents.at(NameInFolder(BatchRowFiles(rows[i])[3], folder.Base()));
    }
    const auto it = run.contents.find(combinedMid);
    if (it == run.contents.end()) Fail("a combined MIF without its MID");
    if (it->second != mid) Fail("the combined MID is not the rows' MIDs one after the other");
    written[combinedMif] = written[combinedMid] = true;
  }
  for (const auto& [name, bytes] : run.contents) {
    if (!folder.IsInput(name) && !written.count(name)) Fail("a batch run left " + name);
  }
}

}  // namespace

void RunBatchFile(std::string_view data) {
  BatchFolder& folder = BatchFolder::Instance();
  const std::string list = WorkDir::File("list.txt");
  test::WriteFile(list, std::string(data));
  bool combine = false;
  std::string combineName;
  std::vector<TBatchRow> rows;
  try {
    try {
      std::string why;
      if (!ParseBatchLines(ReadBatchLines(list), combine, combineName, rows, folder.Base(), &why))
        return;
    } catch (const Exception&) {
      return;
    }
    // Only rows that stay inside the folder are run: a fuzzer writes any name.
    if (rows.size() > 12) return;
    for (const TBatchRow& row : rows) {
      if (NameInFolder(row.SourcePath, folder.Base()).empty() ||
          NameInFolder(row.TargetPath, folder.Base()).empty()) {
        return;
      }
    }
    if (combine && NameInFolder(combineName, folder.Base()).empty()) return;

    TBatchRunOptions options;
    options.Combine = combine;
    options.CombineName = combine ? combineName : std::string();
    folder.Reset();
    const RunOutcome one = RunRows(rows, options);
    folder.Reset();
    ExpectSoundRun(one, rows, options);
    // One target written from two sources is refused before anything runs.
    for (size_t i = 0; i < rows.size(); ++i) {
      for (size_t j = 0; j < i; ++j) {
        if (rows[i].TargetPath == rows[j].TargetPath && rows[i].SourcePath != rows[j].SourcePath &&
            one.started) {
          Fail("rows " + std::to_string(j + 1) + " and " + std::to_string(i + 1) +
               " write one target from two sources");
        }
      }
    }
    if (rows.size() < 2) return;
    options.Jobs = 2;
    const RunOutcome two = RunRows(rows, options);
    folder.Reset();
    ExpectSoundRun(two, rows, options);
    if (two.started != one.started || two.raised != one.raised || two.marks != one.marks ||
        two.reasons != one.reasons || two.contents != one.contents) {
      Fail("two threads give another outcome than one");
    }
  } catch (...) {
    folder.Reset();
    ReportUnexpectedError();
  }
  ExpectNoDescriptorLeak();
}

// --- Placement file -----------------------------------------------------------------------

namespace {

constexpr const char* kPlacementKeys[] = {"Left", "Top", "Width", "Height", "State", "DateFormat"};

// A line the placement may rewrite: a key of ours, or a section header.
bool PlacementMayTouch(const std::string& line) {
  const std::string t = TrimBlanks(line);
  if (!t.empty() && t[0] == '[') return true;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  const std::string key = TrimBlanks(t.substr(0, eq));
  return std::any_of(std::begin(kPlacementKeys), std::end(kPlacementKeys),
                     [&](const char* k) { return SameTextAscii(key, k); });
}

uint32_t HashOf(std::string_view data) {
  uint32_t hash = 2166136261u;
  for (char c : data) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

}  // namespace

void PlacementFile(std::string_view data) {
  const std::string path = WorkDir::File("place/plexor-converter.INI");
  std::filesystem::create_directories(WorkDir::File("place"));
  test::WriteFile(path, std::string(data));
  try {
    // What the file says, read key by key through the profile reader.
    const TProfileFile ini(path);
    auto value = [&](const char* key, int32_t def) {
      int32_t parsed = 0;
      return ParseProfileInteger(ini.ReadString(kPlacementSection, key, ""), parsed) ? parsed : def;
    };
    TWindowPlacement said{value("Left", 20), value("Top", 20), value("Width", 700),
                          value("Height", 500), value("State", 0)};
    if (said.State < 0 || said.State > 2) said.State = 0;
    const TWindowState states[] = {TWindowState::Normal, TWindowState::Maximized,
                                   TWindowState::Minimized};

    test::FakeMainView view;
    RestorePlacement(view, path);
    if (view.Frame.Left != said.Left || view.Frame.Top != said.Top)
      Fail("the window restored elsewhere than the file says");
    if (view.State != states[said.State]) Fail("the window restored in another state");
    const std::string format = ReadDateFormat(path);
    const bool compact = SameTextAscii(
        TrimBlanks(ini.ReadString(kPlacementSection, kDateFormatKey, "")), kDateFormatCompact);
    if (format != (compact ? kDateFormatCompact : kDateFormatSlashed))
      Fail("the date format read as " + format);
    ExpectUnchanged(path, data, "the placement file");

    // Saved from a window somewhere, in some state, and read back.
    const uint32_t hash = HashOf(data);
    test::FakeMainView saved;
    saved.State = states[hash % 3];
    saved.Frame = {static_cast<int32_t>(hash >> 2) % 5000 - 2500,
                   static_cast<int32_t>(hash >> 7) % 3000 - 1500,
                   100 + static_cast<int32_t>(hash >> 12) % 2000,
                   100 + static_cast<int32_t>(hash >> 17) % 1500};
    const std::string savedFormat = hash & (1u << 30) ? kDateFormatCompact : kDateFormatSlashed;
    SavePlacement(saved, path, savedFormat);
    const TWindowPlacement back = ReadWindowPlacement(path);
    const TWindowPlacement expected =
        saved.State == TWindowState::Normal
            ? TWindowPlacement{saved.Frame.Left, saved.Frame.Top, saved.Frame.Width,
                               saved.Frame.Height, 0}
            : TWindowPlacement{said.Left, said.Top, said.Width, said.Height,
                               static_cast<int32_t>(hash % 3)};
    if (back.Left != expected.Left || back.Top != expected.Top || back.Width != expected.Width ||
        back.Height != expected.Height || back.State != expected.State) {
      Fail("a saved placement reads back otherwise");
    }
    if (ReadDateFormat(path) != savedFormat) Fail("a saved date format reads back otherwise");
    test::FakeMainView again;
    RestorePlacement(again, path);
    if (again.Frame.Left != back.Left || again.Frame.Top != back.Top || again.State != saved.State)
      Fail("a saved window restored elsewhere");

    // Saving what was restored changes nothing more, and the lines of others stay.
    const std::string once = test::ReadFile(path);
    SavePlacement(saved, path, savedFormat);
    if (test::ReadFile(path) != once) Fail("saving the same placement twice changed the file");
    const std::vector<std::string> now = SplitLines(once);
    size_t j = 0;
    for (const std::string& line : SplitLines(data)) {
      if (PlacementMayTouch(line)) continue;
      while (j < now.size() && now[j] != line) ++j;
      if (j == now.size()) Fail("saving the placement lost the line '" + line + "'");
      ++j;
    }
  } catch (...) {
    ReportUnexpectedError();
  }
  ExpectNoDescriptorLeak();
}

// --- info --json --------------------------------------------------------------------------

namespace {

// The records of a .shp as their headers lay them out, each ending where its content length
// says. Whole: the walk reached the end of the file. Plain: the leading records whose content
// any reader must take (the rest may be refused as the conversion refuses them).
struct RecordWalk {
  bool header = false;
  bool whole = false;
  int64_t plain = 0;
  std::vector<int32_t> types;
};

RecordWalk WalkRecords(std::string_view shp) {
  RecordWalk w;
  const auto* b = reinterpret_cast<const unsigned char*>(shp.data());
  const int64_t size = static_cast<int64_t>(shp.size());
  if (size < 100 || GetBE32(b) != 9994 || GetLE32(b + 28) != 1000) return w;
  w.header = true;
  bool plain = true;
  int64_t pos = 100;
  while (pos < size) {
    if (size - pos < 8) return w;
    const int64_t contentLength = GetBE32(b + pos + 4);
    if (contentLength < 0 || 8 + 2 * contentLength > size - pos) return w;
    if (contentLength < 2) {
      w.types.push_back(0);
      plain = false;
    } else {
      const int32_t type = GetLE32(b + pos + 8);
      w.types.push_back(type);
      const std::optional<Verdict> v = RecordVerdict(type, b + pos + 12, 2 * contentLength - 4);
      plain = plain && (!v || *v == Verdict::Whole);
    }
    if (plain) ++w.plain;
    pos += 8 + 2 * contentLength;
  }
  w.whole = true;
  return w;
}

const JsonValue& Member(const JsonValue& object, const char* name, JsonValue::Kind kind,
                        bool nullable = false) {
  const JsonValue* v = object.Find(name);
  if (!v) Fail(std::string("info JSON without ") + name);
  if (v->kind != kind && !(nullable && v->kind == JsonValue::Kind::Null))
    Fail(std::string("info JSON with ") + name + " of another kind");
  return *v;
}

int64_t IntegerOf(const JsonValue& v) {
  if (v.kind != JsonValue::Kind::Number ||
      v.number.find_first_not_of("-0123456789") != std::string::npos) {
    Fail("info JSON count that is no integer: " + v.number);
  }
  return std::strtoll(v.number.c_str(), nullptr, 10);
}

}  // namespace

void InfoJson(std::string_view data) {
  unsigned char options = 0;
  const std::vector<std::string_view> parts = SplitParts(data, options);
  const bool capitals = options & 8;
  const std::string shp = WorkDir::File("i.shp");
  test::WriteFile(shp, std::string(PartOf(parts, 0)));
  PlaceFile(WorkDir::File("i.dbf"), WorkDir::File("i.DBF"), options & 1, capitals,
            PartOf(parts, 1));
  PlaceFile(WorkDir::File("i.prj"), WorkDir::File("i.PRJ"), options & 2, capitals,
            PartOf(parts, 2));
  PlaceFile(WorkDir::File("i.cpg"), WorkDir::File("i.CPG"), options & 4, capitals,
            PartOf(parts, 3));
  static const char* const kOptions[] = {"", "utf-8", "cp932", "klingon"};
  const std::string encoding = kOptions[(options >> 4) & 3];
  try {
    const TShapefileInfo info = DescribeShapefile(shp, encoding);
    const std::string text = ShapefileInfoText(info);
    if (!IsStrictUtf8(text)) Fail("info text that is not UTF-8");
    for (const std::string& p : info.Problems) ExpectShownText(p, "an info problem");

    const std::string json = ShapefileInfoJson(info);
    std::string error;
    const std::optional<JsonValue> root = ParseStrictJson(json, error);
    if (!root) Fail("info JSON that is not strict JSON: " + error);
    if (root->kind != JsonValue::Kind::Object) Fail("info JSON that is no object");
    using K = JsonValue::Kind;
    Member(*root, "path", K::String);
    Member(*root, "shapeType", K::String);
    const int64_t records = IntegerOf(Member(*root, "records", K::Number));
    if (Member(*root, "bounds", K::Array).items.size() != 4) Fail("info JSON bounds not four");
    for (const JsonValue& v : root->Find("bounds")->items) {
      if (v.kind != K::Number && v.kind != K::Null) Fail("info JSON bound that is no number");
    }
    int64_t byType = 0;
    for (const JsonValue& n : Member(*root, "recordsByType", K::Object).items)
      byType += IntegerOf(n);
    const JsonValue& table = Member(*root, "tableRecords", K::Number, true);
    IntegerOf(Member(*root, "deletedRecords", K::Number));
    Member(*root, "encoding", K::Object, true);
    Member(*root, "prj", K::Object, true);
    const JsonValue& fields = Member(*root, "fields", K::Array);
    const JsonValue& problems = Member(*root, "problems", K::Array);
    if (records != info.Records || byType != records) Fail("info JSON records miscounted");
    if ((table.kind == K::Null) != (info.TableRecords < 0) ||
        (table.kind != K::Null && IntegerOf(table) != info.TableRecords)) {
      Fail("info JSON table records differ");
    }
    if (fields.items.size() != info.Fields.size() || problems.items.size() != info.Problems.size())
      Fail("info JSON lists differ from the description");

    // The records, each within its content length.
    const RecordWalk walk = WalkRecords(PartOf(parts, 0));
    if (!walk.header) {
      if (info.Records != 0 || info.Problems.empty()) Fail("a refused .shp header not reported");
    } else {
      const auto holds = static_cast<int64_t>(walk.types.size());
      if (info.Records < walk.plain || info.Records > holds) {
        Fail("info counts " + std::to_string(info.Records) + " records where the .shp holds " +
             std::to_string(walk.plain) + " to " + std::to_string(holds));
      }
      std::map<int32_t, int64_t> byTypeExpected;
      for (int64_t i = 0; i < info.Records; ++i)
        ++byTypeExpected[walk.types[static_cast<size_t>(i)]];
      if (info.RecordsByType != byTypeExpected) Fail("info counts records of other types");
      if ((info.Records < holds || !walk.whole) && info.Problems.empty())
        Fail("a record info did not count, not reported");
    }
    if (options & 2) {
      if (!info.Prj || !SameMatch(*info.Prj, MatchPrjText(PartOf(parts, 2))))
        Fail("info reads the .prj otherwise than its text");
    } else if (info.Prj) {
      Fail("info found a .prj that is not there");
    }
  } catch (...) {
    ReportUnexpectedError();
  }
  ExpectUnchanged(shp, PartOf(parts, 0), "the .shp");
  ExpectNoDescriptorLeak();
}

// --- Registry and seeds -------------------------------------------------------------------

const std::vector<Target>& Targets() {
  static const std::vector<Target> targets = {
      {"convert", ConvertPair},   {"table", ReadTable},
      {"batch", LoadBatchFile},   {"csv", CsvField},
      {"profile", ProfileFile},   {"numbers", NumberTexts},
      {"prj", PrjText},           {"encoding", TableEncodingDecision},
      {"batchrun", RunBatchFile}, {"placement", PlacementFile},
      {"info", InfoJson},         {"zip", ZipArchiveInput},
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
