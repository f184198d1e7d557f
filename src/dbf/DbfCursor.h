// Fetching records for TLocalDbf: the cursor over the visible records (deleted and filtered
// ones passed over) and the read window records are copied from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/InputFile.h"

namespace plexor {

enum class FetchMode { Current, Next, Prior };
enum class FetchResult { Ok, BeforeFirst, AfterLast, Error };

// Reads records through one large buffer, so walking the table costs one system call per
// window rather than one per record. It may only be used while nobody else can change the
// bytes under it: the file held exclusively, or a reader that asked for read-ahead.
class DbfReadWindow {
 public:
  // Room for at least one record.
  void Prepare(size_t recordLength);
  void Release();
  // Whatever was read may now be out of date.
  void Forget() { fill_ = 0; }

  // Copies the `n` bytes at `position` (at least `floor`, the first record's position). When
  // they are not in the window it is refilled from there, or, walking `backwards`, so that it
  // ends with them. EReadError when the file ends before them.
  void Read(InputFile& file, int64_t position, size_t n, int64_t floor, bool backwards,
            unsigned char* out);

 private:
  std::vector<unsigned char> buffer_;
  int64_t start_ = 0;
  size_t fill_ = 0;
};

}  // namespace plexor
