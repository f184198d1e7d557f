#include "engine/BatchFile.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "engine/CoordSys.h"
#include "support/ByteStream.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/QvCsv.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

// The first two lines, written as they stand and read back trimmed and in any letter case.
constexpr const char* kBatchMarker = "Plexor";
constexpr const char* kBatchVersion = "200";

// "-1", "0", "1.5": any number, zero meaning false; or True/False in any letter case.
bool ParseBoolean(std::string_view text, bool& value) {
  const std::string_view t = TrimBlanksView(text);
  if (SameTextAscii(t, "true")) return value = true, true;
  if (SameTextAscii(t, "false")) return (value = false), true;
  double number = 0;
  if (!ParseDecimalFloat(t, number)) return false;
  value = number != 0;
  return true;
}

// A path written relative to the batch file, as people write them by hand, means the same
// wherever the batch is run from.
std::string ResolveAgainst(const std::string& baseDir, const std::string& path) {
  if (baseDir.empty() || TrimBlanks(path).empty() || IsAbsolutePath(path)) return path;
  return baseDir + path;
}

// A row line: the index text, the source path and the target path as comma-text fields.
TBatchRow RowOfLine(const std::string& line, const std::string& baseDir) {
  TBatchRow row;
  row.IndexText = GetCsvField(line, 1);
  row.SourcePath = ResolveAgainst(baseDir, GetCsvField(line, 2));
  row.TargetPath = ResolveAgainst(baseDir, GetCsvField(line, 3));
  const int index = BatchRowIndex(row);
  if (index < 0 || index >= kCoordSysCount) {
    ThrowListIndexError(index);
  }
  row.DisplayText = GetCoordSysDisplayText(index);
  return row;
}

bool Refuse(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

// The file's lines without their endings.
std::vector<std::string> BatchFileLines(bool combine, const std::string& combineName,
                                        const std::vector<TBatchRow>& rows) {
  std::vector<std::string> lines = {kBatchMarker, kBatchVersion, combine ? "-1" : "0", combineName};
  for (const TBatchRow& row : rows) {
    lines.push_back('"' + row.IndexText + "\"\t\"" + row.SourcePath + "\"\t\"" + row.TargetPath +
                    '"');
  }
  return lines;
}

}  // namespace

std::vector<std::string> ReadBatchLines(const std::string& path) {
  ByteStream in(path);
  std::string text;
  char chunk[64 * 1024];
  // The whole text: a NUL byte is no end of the list but a damaged file, refused with its
  // line when the lines are parsed.
  for (;;) {
    const size_t got = in.Read(chunk, sizeof chunk);
    if (got == 0) break;
    text.append(chunk, got);
  }
  return SplitLines(text);
}

bool ParseBatchLines(std::vector<std::string> lines, bool& combine, std::string& combineName,
                     std::vector<TBatchRow>& rows, const std::string& baseDir, std::string* why) {
  // Notepad starts a UTF-8 file with a byte order mark; an editor often ends it with blank
  // lines. Neither is part of the list.
  if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
  // Paths and names hold no control characters; one in the file (a NUL, a stray escape) means
  // the file is damaged, and reading on past it would drop or bend rows without a word.
  for (size_t i = 0; i < lines.size(); ++i) {
    for (const char c : lines[i]) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", byte);
        return Refuse(why, std::to_string(i + 1) + " 行目に制御文字 (" + hex + ") があります");
      }
    }
  }
  while (lines.size() > 4 && TrimBlanks(lines.back()).empty()) lines.pop_back();
  if (lines.size() < 4) {
    return Refuse(why, "4 行に足りません (" + std::to_string(lines.size()) + " 行)");
  }
  if (!SameTextAscii(TrimBlanksView(lines[0]), kBatchMarker)) {
    return Refuse(why, std::string("1 行目が ") + kBatchMarker + " ではありません");
  }
  if (!SameTextAscii(TrimBlanksView(lines[1]), kBatchVersion)) {
    return Refuse(why, std::string("2 行目が ") + kBatchVersion + " ではありません");
  }
  bool flag = false;
  if (!ParseBoolean(lines[2], flag)) {
    throw EConvertError("3 行目: '" + lines[2] + "' は正しい論理型ではありません");
  }
  combine = flag;
  combineName = ResolveAgainst(baseDir, lines[3]);
  for (size_t i = 4; i < lines.size(); ++i) {
    try {
      rows.push_back(RowOfLine(lines[i], baseDir));
    } catch (Exception& e) {
      e.SetMessage(std::to_string(i + 1) + " 行目: " + e.Message());
      throw;
    }
  }
  return true;
}

bool BatchRowsCanBeSaved(const std::vector<TBatchRow>& rows) {
  auto bad = [](const std::string& s) { return s.find_first_of("\"\r\n") != std::string::npos; };
  return std::none_of(rows.begin(), rows.end(), [&](const TBatchRow& r) {
    return bad(r.IndexText) || bad(r.SourcePath) || bad(r.TargetPath);
  });
}

std::string BuildBatchFileText(bool combine, const std::string& combineName,
                               const std::vector<TBatchRow>& rows) {
  std::string text;
  for (const std::string& line : BatchFileLines(combine, combineName, rows)) text += line + "\r\n";
  return text;
}

void WriteBatchFile(const std::string& path, bool combine, const std::string& combineName,
                    const std::vector<TBatchRow>& rows) {
  TextFileWriter out;
  out.Create(path);
  for (const std::string& line : BatchFileLines(combine, combineName, rows)) out.WriteLine(line);
  out.Close();
}

}  // namespace plexor
