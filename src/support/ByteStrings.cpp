#include "support/ByteStrings.h"

#include <charconv>
#include <cstdint>

namespace plexor {

std::string TrimBlanks(std::string_view text) {
  return std::string(TrimBlanksView(text));
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool IsDecimalIntegerText(std::string_view text) {
  const size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (text.size() == sign) return false;
  for (size_t i = sign; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool ParseDecimalInt64(std::string_view text, int64_t& value) {
  if (!IsDecimalIntegerText(text)) return false;
  // from_chars takes a minus sign but no plus sign.
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  const char* last = text.data() + text.size();
  int64_t parsed = 0;
  const auto r = std::from_chars(first, last, parsed);
  if (r.ec != std::errc() || r.ptr != last) return false;
  value = parsed;
  return true;
}

bool ParseDecimalInt32(std::string_view text, int32_t& value) {
  int64_t wide = 0;
  if (!ParseDecimalInt64(text, wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

bool ParseDecimalFloat(std::string_view text, double& value) {
  // The grammar is checked here, not left to from_chars, which also takes "inf" and "nan".
  size_t i = 0;
  const size_t n = text.size();
  auto digit = [&](size_t at) { return at < n && text[at] >= '0' && text[at] <= '9'; };
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t numberStart = i;
  size_t digits = 0;
  while (digit(i)) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (digit(i)) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    const size_t exponentStart = i;
    while (digit(i)) ++i;
    if (i == exponentStart) return false;
  }
  if (i != n) return false;
  // from_chars takes no leading '+', so the magnitude is parsed and the sign put back.
  double magnitude = 0;
  const auto r = std::from_chars(text.data() + numberStart, text.data() + n, magnitude);
  if (r.ec != std::errc() || r.ptr != text.data() + n) return false;
  value = numberStart > 0 && text[0] == '-' ? -magnitude : magnitude;
  return true;
}

namespace {

bool IsSeparator(char c, PathFlavor flavor) {
  if (flavor == PathFlavor::Posix) return c == '/';
  return c == '\\' || c == '/' || c == ':';
}

// Position of the last single-byte character for which `wanted` holds, or npos. In code
// page 932 the scan walks characters from the start so that a trail byte is never taken
// for a separator or a dot.
template <typename Pred>
size_t LastSingleByte(std::string_view path, PathFlavor flavor, Pred wanted) {
  size_t found = std::string_view::npos;
  if (flavor != PathFlavor::WindowsCp932) {
    for (size_t i = path.size(); i > 0; --i) {
      if (wanted(path[i - 1])) return i - 1;
    }
    return found;
  }
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (IsCp932LeadByte(c) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (wanted(path[i])) found = i;
  }
  return found;
}

size_t FileNameStart(std::string_view path, PathFlavor flavor) {
  const size_t sep =
      LastSingleByte(path, flavor, [flavor](char c) { return IsSeparator(c, flavor); });
  return sep == std::string_view::npos ? 0 : sep + 1;
}

}  // namespace

std::string ChangeFileExt(std::string_view path, std::string_view ext, PathFlavor flavor) {
  const size_t at =
      LastSingleByte(path, flavor, [flavor](char c) { return c == '.' || IsSeparator(c, flavor); });
  std::string out;
  if (at != std::string_view::npos && path[at] == '.') {
    out.assign(path.substr(0, at));
  } else {
    out.assign(path);
  }
  out.append(ext);
  return out;
}

std::string GetFileDir(std::string_view path, PathFlavor flavor) {
  const size_t start = FileNameStart(path, flavor);
  std::string dir(path.substr(0, start));
  if (!dir.empty() && dir.back() != (flavor == PathFlavor::Posix ? '/' : '\\')) {
    // "C:name.exe" gives "C:" and needs its backslash; a Windows path ending in '/' keeps it.
    if (!(flavor != PathFlavor::Posix && dir.back() == '/')) {
      dir.push_back(flavor == PathFlavor::Posix ? '/' : '\\');
    }
  }
  return dir;
}

std::string GetFileName(std::string_view path, PathFlavor flavor) {
  return std::string(path.substr(FileNameStart(path, flavor)));
}

bool IsAbsolutePath(std::string_view path, PathFlavor flavor) {
  if (path.empty()) return false;
  if (flavor == PathFlavor::Posix) return path[0] == '/';
  // "\\server\share", "\\dir", "C:\\dir" and "C:dir" (drive-relative, still not ours to move).
  const bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  return path[0] == '\\' || path[0] == '/' || (path.size() >= 2 && letter && path[1] == ':');
}

std::string GetFileBaseName(std::string_view path, PathFlavor flavor) {
  const std::string name = GetFileName(path, flavor);
  const size_t dot = LastSingleByte(name, flavor, [](char c) { return c == '.'; });
  if (dot == std::string::npos) return name;
  return name.substr(0, dot);
}

// Paths are the system's bytes: usually UTF-8, but a name made under another locale (a
// code page 932 name copied from a Japanese Windows share) is not. A message must stay
// UTF-8 and on one line, so such bytes and control characters are shown as \xHH.
std::string PrintableUtf8(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  auto escape = [&out](unsigned char c) {
    static const char* const kHex = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (size_t i = 0; i < path.size();) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F) {
        escape(c);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // The length a lead byte announces, and the smallest value it may carry (no overlong
    // forms, no surrogates, nothing past U+10FFFF).
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    bool ok = n > 0 && c < 0xF5 && i + n <= path.size();
    uint32_t cp = n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; ok && k < n; ++k) {
      const auto t = static_cast<unsigned char>(path[i + k]);
      ok = (t & 0xC0) == 0x80;
      cp = (cp << 6) | (t & 0x3F);
    }
    ok = ok && (n != 3 || (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF))) &&
         (n != 4 || (cp >= 0x10000 && cp <= 0x10FFFF));
    if (!ok) {
      escape(c);
      ++i;
      continue;
    }
    out.append(path.substr(i, n));
    i += n;
  }
  return out;
}

std::string NativeToUtf8(std::string_view path) {
  return PrintableUtf8(path);
}

}  // namespace plexor
