// The Windows build keeps its native narrow strings (paths, messages) in UTF-8 and speaks to
// the system through the wide-character API only: the ANSI code page cannot name every
// file a user may have, and on a machine set to another language it is not even 932.
#pragma once

#ifdef _WIN32
#include <string>
#include <string_view>

namespace plexor {

// UTF-8 to UTF-16; bytes that are no UTF-8 become U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view wide);

}  // namespace plexor
#endif  // _WIN32
