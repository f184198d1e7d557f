// Byte-string helpers. A std::string here holds bytes: code page 932 for data, the native
// narrow encoding for paths, UTF-8 for messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plexor {

// The text without the bytes 0 to 32 at either end, as a view into `text`. Inline: number
// fields of a table are trimmed on the conversion's hot path.
inline std::string_view TrimBlanksView(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

// Removes the bytes 0 to 32 from both ends.
std::string TrimBlanks(std::string_view text);
// Case changes touch the ASCII letters only, so double-byte characters stay intact.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);

// The lines of a text: CR LF, a lone LF and a lone CR each end one; a last line without an
// ending counts, an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Decimal texts as the files hold them: nothing but an optional sign and the digits, no
// blanks, no locale. Whether blanks around the text are allowed is the caller's format's
// business: it trims first or not.
// [+-]?[0-9]+ of any length.
bool IsDecimalIntegerText(std::string_view text);
// The same within the range of the type; `value` is left alone when false.
bool ParseDecimalInt32(std::string_view text, int32_t& value);
bool ParseDecimalInt64(std::string_view text, int64_t& value);
// [+-]?([0-9]+(.[0-9]*)?|.[0-9]+)([eE][+-]?[0-9]+)? whose value a double holds (no "inf",
// no "nan", nothing beyond the largest double).
bool ParseDecimalFloat(std::string_view text, double& value);

// Lead bytes of code page 932 double-byte characters.
inline bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// How path names are taken apart. Windows separators are '\', '/' and ':'. In code page 932
// a trail byte never counts as one; in UTF-8 (Linux, and the Windows build, which hands its
// paths to the wide-character API so that names outside code page 932 work) any byte scan
// is safe. Linux paths have only '/'.
enum class PathFlavor { Posix, WindowsCp932, WindowsUtf8 };

#ifdef _WIN32
inline constexpr PathFlavor kNativePathFlavor = PathFlavor::WindowsUtf8;
#else
inline constexpr PathFlavor kNativePathFlavor = PathFlavor::Posix;
#endif

// Replaces the extension (from the last dot of the file name on) by `ext`, or appends `ext`
// when the file name has no dot.
std::string ChangeFileExt(std::string_view path, std::string_view ext,
                          PathFlavor flavor = kNativePathFlavor);
// The directory part with a trailing separator; empty when the path has none.
std::string GetFileDir(std::string_view path, PathFlavor flavor = kNativePathFlavor);
// The file name without its extension.
std::string GetFileBaseName(std::string_view path, PathFlavor flavor = kNativePathFlavor);
// True when the path does not depend on the current folder.
bool IsAbsolutePath(std::string_view path, PathFlavor flavor = kNativePathFlavor);
// The file name with its extension.
std::string GetFileName(std::string_view path, PathFlavor flavor = kNativePathFlavor);

// Text for a message, on one line and well-formed UTF-8 whatever the bytes: control
// characters and bytes that are no UTF-8 are shown as \xHH.
std::string PrintableUtf8(std::string_view text);
// A native path as UTF-8 for a message: native paths are UTF-8 on both platforms, and the
// bytes of a name that is not are shown as PrintableUtf8 shows them.
std::string NativeToUtf8(std::string_view path);

// Decodes code page 932 bytes to UTF-8 for display; undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(std::string_view bytes);
// Encodes UTF-8 text to code page 932; characters without a code become "〓".
std::string Utf8ToCp932(std::string_view text);

}  // namespace plexor
