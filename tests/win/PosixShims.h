// What the shared test fixtures take from POSIX and MinGW lacks, for the Windows test build.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the trailing XXXXXX of `pattern` and makes that folder; null when it cannot.
char* mkdtemp(char* pattern);

#ifdef __cplusplus
}
#endif
