#include "support/ProfileFile.h"

#include <limits>

#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

constexpr size_t npos = std::string::npos;

std::string ReadWholeFile(const std::string& path) {
  FileHandle file;
  if (!file.OpenRead(path)) return {};
  const int64_t size = file.Size();
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size), '\0');
  const int64_t got = file.ReadAt(0, text.data(), text.size());
  text.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return text;
}

// The name inside "[...]", or false when the line is no section header.
bool SectionName(std::string_view line, std::string& name) {
  const std::string trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() != '[') return false;
  const size_t close = trimmed.find(']');
  name = TrimBlanks(std::string_view(trimmed).substr(1, close == npos ? npos : close - 1));
  return true;
}

// Splits "key = value"; false for lines without '=' and for comments.
bool KeyLine(std::string_view line, std::string& key, std::string_view& value) {
  const std::string trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const size_t eq = line.find('=');
  if (eq == npos) return false;
  key = TrimBlanks(line.substr(0, eq));
  value = line.substr(eq + 1);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseProfileInteger(std::string_view text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return false;
  // Hexadecimal texts may spell the full 32 bits (0xFFFFFFFF is -1), as they do for the
  // platform's own reader; decimal ones must fit the signed range.
  const int64_t limit = hex ? 0xFFFFFFFFLL : (negative ? 0x80000000LL : 0x7FFFFFFFLL);
  int64_t acc = 0;
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return false;
    acc = acc * (hex ? 16 : 10) + digit;
    if (acc > limit) return false;
  }
  if (hex) acc = static_cast<int32_t>(static_cast<uint32_t>(acc));
  value = static_cast<int32_t>(negative ? -acc : acc);
  return true;
}

TProfileFile::TProfileFile(std::string path) : path_(std::move(path)) {
  lines_ = SplitLines(ReadWholeFile(path_));
}

size_t TProfileFile::FindSection(std::string_view section) const {
  std::string name;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name) && SameTextAscii(name, section)) return i;
  }
  return npos;
}

size_t TProfileFile::FindKey(size_t header, std::string_view key) const {
  std::string name;
  std::string_view value;
  for (size_t i = header + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name)) break;
    if (KeyLine(lines_[i], name, value) && SameTextAscii(name, key)) return i;
  }
  return npos;
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
  const size_t header = FindSection(section);
  if (header == npos) return std::string(def);
  const size_t at = FindKey(header, key);
  if (at == npos) return std::string(def);
  std::string name;
  std::string_view raw;
  KeyLine(lines_[at], name, raw);
  std::string value = TrimBlanks(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

int32_t TProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                  int32_t def) const {
  int32_t value = 0;
  return ParseProfileInteger(ReadString(section, key, ""), value) ? value : def;
}

void TProfileFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  std::string line(key);
  line += '=';
  line += value;
  const size_t header = FindSection(section);
  if (header == npos) {
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(line));
  } else if (const size_t at = FindKey(header, key); at != npos) {
    lines_[at] = std::move(line);
  } else {
    // A new key goes after the section's last line that holds anything, so that the blank
    // line someone left before the next section stays before it.
    size_t end = header + 1;
    std::string name;
    while (end < lines_.size() && !SectionName(lines_[end], name)) ++end;
    while (end > header + 1 && TrimBlanks(lines_[end - 1]).empty()) --end;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), std::move(line));
  }
  Store();
}

void TProfileFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TProfileFile::Store() const {
  // Through a temporary, so that a full disk or a crash never leaves half a settings file.
  try {
    TextFileWriter out;
    out.Create(path_);
    for (const std::string& line : lines_) out.WriteLine(line);
    out.Close();
  } catch (const Exception&) {
    throw EIniFileError(path_ + " に書き込めません");
  }
}

}  // namespace plexor
