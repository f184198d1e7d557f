// Forced into every core source when building for the browser. Debian's Emscripten ships
// the libc++ of LLVM 13, which lacks C++17 and C++20 pieces the core uses: from_chars and
// to_chars for floating point, bit_cast and the three-way comparison of strings. They are
// given here with the behaviour of the native libraries, built on musl's strtod and printf
// (both exact), so the page parses and prints exactly as `plexor` does.
#pragma once

#include <version>

#if defined(__EMSCRIPTEN__) && defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 170000

#include <cerrno>
#include <charconv>
#include <compare>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace plexor_web_compat {

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

inline bool StartsWithNoCase(const char* first, const char* last, const char* word) {
  const size_t n = std::strlen(word);
  if (static_cast<size_t>(last - first) < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = first[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

// The longest prefix that from_chars in the general format accepts: an optional minus,
// digits with an optional point and exponent, or inf, infinity, nan, nan(chars).
inline const char* ScanFloat(const char* first, const char* last) {
  const char* p = first;
  if (p < last && *p == '-') ++p;
  if (StartsWithNoCase(p, last, "infinity")) return p + 8;
  if (StartsWithNoCase(p, last, "inf")) return p + 3;
  if (StartsWithNoCase(p, last, "nan")) {
    p += 3;
    if (p < last && *p == '(') {
      const char* q = p + 1;
      while (q < last &&
             (IsDigit(*q) || (*q >= 'a' && *q <= 'z') || (*q >= 'A' && *q <= 'Z') || *q == '_')) {
        ++q;
      }
      if (q < last && *q == ')') return q + 1;
    }
    return p;
  }
  size_t digits = 0;
  while (p < last && IsDigit(*p)) ++p, ++digits;
  if (p < last && *p == '.') {
    ++p;
    while (p < last && IsDigit(*p)) ++p, ++digits;
  }
  if (digits == 0) return first;
  if (p < last && (*p == 'e' || *p == 'E')) {
    const char* e = p + 1;
    if (e < last && (*e == '+' || *e == '-')) ++e;
    if (e < last && IsDigit(*e)) {
      while (e < last && IsDigit(*e)) ++e;
      p = e;
    }
  }
  return p;
}

// Nonzero digits before the exponent: a zero result from them is an underflow.
inline bool HasNonzeroDigit(const char* first, const char* last) {
  for (const char* p = first; p < last && *p != 'e' && *p != 'E'; ++p) {
    if (*p >= '1' && *p <= '9') return true;
  }
  return false;
}

// printf into [first, last) without its terminating NUL; value_too_large when it does not fit.
inline std::to_chars_result PrintInto(char* first, char* last, const char* format, int precision,
                                      double value) {
  char local[1100];  // %.*f of the largest double with a few hundred decimals
  const int n = std::snprintf(local, sizeof local, format, precision, value);
  if (n < 0 || n >= static_cast<int>(sizeof local) || n > last - first) {
    return {last, std::errc::value_too_large};
  }
  std::memcpy(first, local, static_cast<size_t>(n));
  return {first + n, std::errc()};
}

// The fewest digits that read back as the value: for each precision the printed text is the
// nearest of that many digits, so the first that reads back is the shortest and nearest.
inline std::to_chars_result Shortest(char* first, char* last, double value, const char* format,
                                     int from, int to) {
  char local[1100];
  for (int precision = from; precision <= to; ++precision) {
    const int n = std::snprintf(local, sizeof local, format, precision, value);
    if (n < 0 || n >= static_cast<int>(sizeof local)) break;
    if (std::strtod(local, nullptr) == value || precision == to) {
      if (n > last - first) return {last, std::errc::value_too_large};
      std::memcpy(first, local, static_cast<size_t>(n));
      return {first + n, std::errc()};
    }
  }
  return {last, std::errc::value_too_large};
}

inline std::to_chars_result Special(char* first, char* last, double value, bool& done) {
  done = !__builtin_isfinite(value);
  if (!done) return {first, std::errc()};
  const char* text = __builtin_isnan(value) ? (__builtin_signbit(value) ? "-nan" : "nan")
                                            : (value < 0 ? "-inf" : "inf");
  const size_t n = std::strlen(text);
  if (static_cast<size_t>(last - first) < n) return {last, std::errc::value_too_large};
  std::memcpy(first, text, n);
  return {first + n, std::errc()};
}

}  // namespace plexor_web_compat

namespace std {

// musl's strtod rounds correctly, as the native from_chars does. Out of range (an infinite
// result from finite digits, or zero from nonzero ones) leaves the value untouched.
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
  using namespace plexor_web_compat;
  const char* end = ScanFloat(first, last);
  if (end == first) return {first, errc::invalid_argument};
  char local[128];
  const size_t n = static_cast<size_t>(end - first);
  std::string heap;
  char* text = local;
  if (n >= sizeof local) {
    heap.assign(first, n);
    text = heap.data();
  } else {
    std::memcpy(local, first, n);
    local[n] = '\0';
  }
  const double parsed = std::strtod(text, nullptr);
  const bool special =
      !IsDigit(first[first[0] == '-' ? 1 : 0]) && first[first[0] == '-' ? 1 : 0] != '.';
  if (!special) {
    if (__builtin_isinf(parsed) || (parsed == 0 && HasNonzeroDigit(first, end))) {
      return {end, errc::result_out_of_range};
    }
  }
  value = parsed;
  return {end, errc()};
}

inline to_chars_result to_chars(char* first, char* last, double value, chars_format format,
                                int precision) {
  bool done = false;
  const auto special = plexor_web_compat::Special(first, last, value, done);
  if (done) return special;
  const char* pattern = format == chars_format::fixed        ? "%.*f"
                        : format == chars_format::scientific ? "%.*e"
                        : format == chars_format::hex        ? "%.*a"
                                                             : "%.*g";
  return plexor_web_compat::PrintInto(first, last, pattern, precision < 0 ? 6 : precision, value);
}

inline to_chars_result to_chars(char* first, char* last, double value, chars_format format) {
  using namespace plexor_web_compat;
  bool done = false;
  const auto special = Special(first, last, value, done);
  if (done) return special;
  switch (format) {
    case chars_format::fixed:
      return Shortest(first, last, value, "%.*f", 0, 1074);
    case chars_format::scientific:
      return Shortest(first, last, value, "%.*e", 0, 16);
    case chars_format::hex:
      return PrintInto(first, last, "%a", 0, value);
    default:
      return Shortest(first, last, value, "%.*g", 1, 17);
  }
}

// Plain shortest form: fixed when it is no longer than scientific.
inline to_chars_result to_chars(char* first, char* last, double value) {
  char fixed[1100];
  char scientific[40];
  const auto f = to_chars(fixed, fixed + sizeof fixed, value, chars_format::fixed);
  const auto e =
      to_chars(scientific, scientific + sizeof scientific, value, chars_format::scientific);
  const char* text = fixed;
  size_t n = static_cast<size_t>(f.ptr - fixed);
  if (f.ec != errc() || static_cast<size_t>(e.ptr - scientific) < n) {
    text = scientific;
    n = static_cast<size_t>(e.ptr - scientific);
  }
  if (static_cast<size_t>(last - first) < n) return {last, errc::value_too_large};
  std::memcpy(first, text, n);
  return {first + n, errc()};
}

#ifndef __cpp_lib_smart_ptr_for_overwrite
template <class T>
requires std::is_unbounded_array_v<T> unique_ptr<T> make_unique_for_overwrite(size_t n) {
  return unique_ptr<T>(new std::remove_extent_t<T>[n]);
}
template <class T>
requires(!std::is_array_v<T>) unique_ptr<T> make_unique_for_overwrite() {
  return unique_ptr<T>(new T);
}
#endif

#ifndef __cpp_lib_bit_cast
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif

inline strong_ordering operator<=>(const string& a, const string& b) noexcept {
  const int c = a.compare(b);
  return c < 0 ? strong_ordering::less : c > 0 ? strong_ordering::greater : strong_ordering::equal;
}

}  // namespace std

#endif
