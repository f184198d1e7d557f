// The one place where attribute text changes encoding: from the table's code page to what
// the MIF/MID pair declares (code page 932 as "WindowsJapanese", or UTF-8). A code page 932
// table written as code page 932 travels byte for byte.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/TextEncoding.h"

namespace plexor {

enum class TOutputCharset { Cp932, Utf8 };

// The Charset clause of the MIF header for the output.
const char* MifCharsetName(TOutputCharset charset);

// How many output bytes one table byte may become at most: a half-width katakana (one byte
// in code page 932) is three in UTF-8; a single-byte code page's letter without a code page
// 932 form becomes the two bytes of "〓". 1 when the bytes pass through.
int32_t MaxGrowthOf(int tableCodePage, TOutputCharset output);

class TAttributeText {
 public:
  // How many record numbers are kept per field for the report.
  static constexpr size_t kFirstRecordsKept = 5;

  struct FieldReport {
    int64_t Unmappable = 0;             // characters written as "〓" (or U+FFFD)
    std::vector<int64_t> FirstRecords;  // 1-based record numbers where it happened
  };

  TAttributeText(int tableCodePage, TOutputCharset output);
  ~TAttributeText();
  TAttributeText(const TAttributeText&) = delete;
  TAttributeText& operator=(const TAttributeText&) = delete;

  int TableCodePage() const { return tableCodePage_; }
  TOutputCharset Output() const { return output_; }
  // True when the bytes need no conversion at all.
  bool PassThrough() const { return passThrough_; }
  // MaxGrowthOf the table's code page and the output.
  int32_t MaxGrowth() const;
  // Char fields known to hold nothing but ASCII, which is the same bytes in every output:
  // their columns keep the table's width. `fieldNames` and `asciiOnly` run in the table's
  // field order; a field whose name is not at its index there is not known.
  void SetAsciiOnlyFields(std::vector<std::string> fieldNames, std::vector<bool> asciiOnly);
  // MaxGrowth, or 1 for field `index` (named `name`) when it is known to be ASCII.
  int32_t MaxGrowth(int index, std::string_view name) const;

  // Appends `text` in the output encoding. A character without a form there is counted
  // against `field` and `record` (1-based; 0 for a field name).
  void Append(std::string_view text, int field, int64_t record, std::string& out);

  // One report per field that lost characters, indexed by field.
  const std::vector<FieldReport>& Reports() const { return reports_; }

 private:
  void Count(int field, int64_t record, int64_t lost);

  int tableCodePage_;
  TOutputCharset output_;
  bool passThrough_;
  std::unique_ptr<TextDecoder> decoder_;  // the table's code page to UTF-8, when needed
  std::string utf8_;                      // reused between values
  std::vector<FieldReport> reports_;
  std::vector<std::string> asciiNames_;
  std::vector<bool> asciiOnly_;
};

}  // namespace plexor
