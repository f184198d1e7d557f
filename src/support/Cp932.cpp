// Code page 932 <-> UTF-8 for text shown to people (field names in messages, paths), through
// the same table the attribute conversion uses, so both platforms show the same text.
#include "support/ByteStrings.h"
#include "support/Cp932Encoder.h"

namespace plexor {

std::string Cp932ToUtf8(std::string_view bytes) {
  std::string out;
  int64_t undecodable = 0;
  Cp932ToUtf8Exact(bytes, out, undecodable);
  return out;
}

std::string Utf8ToCp932(std::string_view text) {
  std::string out;
  int64_t unmappable = 0;
  Utf8ToCp932Exact(text, out, unmappable);
  return out;
}

}  // namespace plexor
