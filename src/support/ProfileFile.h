// A profile (INI) file read and written the way the Windows profile functions do it:
// "[Section]" headers and "Key=Value" lines, names matched without regard to ASCII letter
// case, every write stored at once, and lines we do not own left where they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plexor {

class TProfileFile {
 public:
  // Reads the file when it exists; a missing or unreadable file reads as empty.
  explicit TProfileFile(std::string path);

  const std::string& FileName() const { return path_; }

  // The value with blanks around it removed (and one pair of enclosing quotes), or `def`
  // when the section or key is absent.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; `def` when absent or malformed.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;

  // Sets the key, adding the section and the key when absent, and rewrites the file.
  // EIniFileError "%s に書き込めません" when the file cannot be written.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);

 private:
  // Index of the section's header line, or npos.
  size_t FindSection(std::string_view section) const;
  // Index of the key's line inside the section that starts at `header`, or npos.
  size_t FindKey(size_t header, std::string_view key) const;
  void Store() const;

  std::string path_;
  std::vector<std::string> lines_;
};

// Parses an integer text as the profile reader does; false when it is not one.
bool ParseProfileInteger(std::string_view text, int32_t& value);

}  // namespace plexor
