#include "support/ByteStrings.h"

namespace plexor {

std::string TrimBlanks(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return std::string(text.substr(first, last - first));
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
  if (flavor == PathFlavor::Posix) {
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
  const size_t sep = LastSingleByte(path, flavor, [flavor](char c) { return IsSeparator(c, flavor); });
  return sep == std::string_view::npos ? 0 : sep + 1;
}

}  // namespace

std::string ChangeFileExt(std::string_view path, std::string_view ext, PathFlavor flavor) {
  const size_t at = LastSingleByte(
      path, flavor, [flavor](char c) { return c == '.' || IsSeparator(c, flavor); });
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
    if (!(flavor == PathFlavor::WindowsCp932 && dir.back() == '/')) {
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

std::string NativeToUtf8(std::string_view path) {
#ifdef _WIN32
  return Cp932ToUtf8(path);
#else
  return std::string(path);
#endif
}

}  // namespace plexor
