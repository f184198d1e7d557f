// Deciding what encoding a table's text is in, and decoding the code pages other than 932
// and UTF-8 through the platform's converter (iconv on Linux, MultiByteToWideChar on
// Windows). Code pages are Windows code page numbers throughout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plexor {

inline constexpr int kCodePageCp932 = 932;
inline constexpr int kCodePageUtf8 = 65001;

// The code page a `.cpg` file or an encoding option names, or nullopt for a name we do not
// know. Blanks around the name do not count, nor does letter case: "UTF-8", "932",
// "Shift_JIS", "ANSI 1251", "88591", "ISO-8859-5", "windows-1252", "CP936", "GBK", ...
std::optional<int> CodePageFromName(std::string_view text);

// The code page of a dBASE language-driver byte (header byte 29), or nullopt when the byte
// says nothing: 0x00 (not set) and 0x57 (whatever the writer's ANSI code page was).
std::optional<int> CodePageFromLanguageDriver(uint8_t ldid);

// The name of a code page for messages: "UTF-8", "CP932", "CP1252", "ISO-8859-5", ...
std::string CodePageName(int codePage);

// True when `bytes` is well-formed UTF-8 and holds at least one non-ASCII character. Text in
// code page 932 hardly ever passes: its trail bytes rarely line up as UTF-8 sequences.
bool IsUtf8WithNonAscii(std::string_view bytes);

// The same decision over all values of a table, fed one value at a time: UTF-8 when every
// value is well formed and at least one holds a non-ASCII character.
class Utf8Sniffer {
 public:
  // `mayBeCut`: the value filled its field, so a writer counting bytes may have cut its
  // last character; a sequence broken only by the end of such a value is forgiven.
  void Feed(std::string_view value, bool mayBeCut = false);
  // Once a value was not UTF-8, no further value can change the verdict.
  bool Settled() const { return broken_; }
  bool IsUtf8() const { return !broken_ && sawNonAscii_; }

 private:
  bool broken_ = false;
  bool sawNonAscii_ = false;
};

// How well a table's non-ASCII text reads as code page 932, fed one value at a time. Each
// run of non-ASCII characters (as code page 932 reads them) counts once:
// - strong signs of another code page: bytes that are no code page 932 character; one or two
//   half-width katakana glued to an ASCII letter ("OPERAﾇﾃO" is OPERAÇÃO in code page 1252);
//   a run of user-defined characters (lead bytes 0xF0-0xF9) glued to a letter;
// - weak signs: one or two double-byte characters glued to an ASCII letter ("Reykjav勛" is
//   Reykjavík), which Japanese text writes too ("A棟");
// - Japanese text: every other run.
class Cp932Sniffer {
 public:
  enum class Verdict {
    Cp932,     // nothing against it
    Doubtful,  // code page 932 still, but some values look like another code page
    Western,   // the signs outweigh the Japanese text: a single-byte Western code page
  };
  // How many record numbers with signs are kept for a message.
  static constexpr size_t kFirstRecordsKept = 5;

  // `mayBeCut` as for Utf8Sniffer; `record` is 1-based, for the message.
  void Feed(std::string_view value, bool mayBeCut, int64_t record);
  Verdict Result() const;
  // Enough Japanese text and no sign: further values will not change the verdict.
  bool Settled() const;
  // The first records that showed a sign, in order.
  const std::vector<int64_t>& SignRecords() const { return signRecords_; }
  // How many records showed a sign.
  int64_t SignRecordCount() const { return signRecordCount_; }

 private:
  void Sign(int64_t record, bool strong);

  int64_t japanese_ = 0;
  int64_t strong_ = 0;
  int64_t weak_ = 0;
  int64_t lastSignRecord_ = -1;
  int64_t signRecordCount_ = 0;
  std::vector<int64_t> signRecords_;
};

// Decodes one code page to UTF-8, value after value. Code page 932 uses our own table
// (Cp932Encoder.h), UTF-8 is checked and copied, any other goes through the platform.
class TextDecoder {
 public:
  explicit TextDecoder(int codePage);
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  int CodePage() const { return codePage_; }
  // False when the platform does not know the code page.
  bool Available() const { return available_; }

  // Appends `in` as UTF-8 to `out`. Bytes that hold no character become U+FFFD and add one
  // each to `undecodable` (on Windows, one per U+FFFD the system produced). Returns false,
  // appending nothing, when the code page is not available.
  bool AppendUtf8(std::string_view in, std::string& out, int64_t& undecodable);

 private:
  int codePage_;
  bool available_ = false;
  bool asciiAsItself_ = false;  // ASCII bytes decode to themselves: such values skip the work
  void* converter_ = nullptr;   // the iconv descriptor on Linux
};

// One-off decoding to UTF-8 (out is replaced); false when the code page is not available.
// A table's values go through one TextDecoder instead: opening a converter is not free.
bool DecodeToUtf8(int codePage, std::string_view in, std::string& out);

}  // namespace plexor
