// Code page 932 <-> UTF-8 through the platform's converter (iconv on Linux). Used only for
// text shown to people, never on the conversion path.
#ifndef _WIN32
#include <iconv.h>

#include <cerrno>
#include <string>

#include "support/ByteStrings.h"

namespace plexor {
namespace {

std::string Convert(std::string_view in, const char* to, const char* from, std::string_view bad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() * 3 / 2 + 4);
  char buffer[256];
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An invalid or cut sequence: show a replacement and go on with the next byte.
      out.append(bad);
      ++src;
      --srcLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view bytes) {
  return Convert(bytes, "UTF-8", "CP932", "\xEF\xBF\xBD");
}

std::string Utf8ToCp932(std::string_view text) { return Convert(text, "CP932", "UTF-8", "?"); }

}  // namespace plexor

#endif  // !_WIN32

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "support/ByteStrings.h"

namespace plexor {
namespace {

std::string Recode(std::string_view in, UINT from, UINT to) {
  if (in.empty()) return {};
  const int wide = MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), w.data(), wide);
  const int narrow = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(to, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view bytes) { return Recode(bytes, 932, CP_UTF8); }
std::string Utf8ToCp932(std::string_view text) { return Recode(text, CP_UTF8, 932); }

}  // namespace plexor
#endif  // _WIN32
