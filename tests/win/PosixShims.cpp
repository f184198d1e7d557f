#include "win/PosixShims.h"

#include <windows.h>

#include <cstring>

#include "support/WideTextWin32.h"

extern "C" char* mkdtemp(char* pattern) {
  const size_t n = std::strlen(pattern);
  if (n < 6 || std::strcmp(pattern + n - 6, "XXXXXX") != 0) return nullptr;
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  unsigned seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (size_t i = n - 6; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      pattern[i] = kDigits[(seed >> 16) % 36];
    }
    if (CreateDirectoryW(plexor::Widen(pattern).c_str(), nullptr)) return pattern;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}
