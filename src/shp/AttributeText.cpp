#include "shp/AttributeText.h"

#include <memory>

#include "support/Cp932Encoder.h"

namespace plexor {

const char* MifCharsetName(TOutputCharset charset) {
  return charset == TOutputCharset::Utf8 ? "UTF-8" : "WindowsJapanese";
}

TAttributeText::TAttributeText(int tableCodePage, TOutputCharset output)
    : tableCodePage_(tableCodePage),
      output_(output),
      passThrough_(output == TOutputCharset::Cp932 ? tableCodePage == kCodePageCp932
                                                   : tableCodePage == kCodePageUtf8) {
  // UTF-8 needs no decoder on the way to code page 932, nor code page 932 to UTF-8: both
  // go through our own table, so Linux and Windows write the same bytes.
  const bool ownTable = tableCodePage == kCodePageUtf8 || tableCodePage == kCodePageCp932;
  if (!passThrough_ && !ownTable) decoder_ = std::make_unique<TextDecoder>(tableCodePage);
}

TAttributeText::~TAttributeText() = default;

int32_t MaxGrowthOf(int tableCodePage, TOutputCharset output) {
  if (output == TOutputCharset::Utf8) return tableCodePage == kCodePageUtf8 ? 1 : 3;
  // UTF-8 never grows on its way to code page 932; other code pages may.
  return tableCodePage == kCodePageUtf8 || tableCodePage == kCodePageCp932 ? 1 : 2;
}

int32_t TAttributeText::MaxGrowth() const {
  return MaxGrowthOf(tableCodePage_, output_);
}

void TAttributeText::SetAsciiOnlyFields(std::vector<std::string> fieldNames,
                                        std::vector<bool> asciiOnly) {
  asciiNames_ = std::move(fieldNames);
  asciiOnly_ = std::move(asciiOnly);
}

int32_t TAttributeText::MaxGrowth(int index, std::string_view name) const {
  const auto i = static_cast<size_t>(index);
  if (index >= 0 && i < asciiOnly_.size() && i < asciiNames_.size() && asciiOnly_[i] &&
      asciiNames_[i] == name) {
    return 1;
  }
  return MaxGrowth();
}

void TAttributeText::Append(std::string_view text, int field, int64_t record, std::string& out) {
  if (passThrough_ || AsciiPrefixLength(text) == text.size()) {
    out.append(text);
    return;
  }
  int64_t lost = 0;
  std::string_view utf8 = text;
  if (tableCodePage_ == kCodePageCp932) {
    // Only on the way to UTF-8 output.
    Cp932ToUtf8Exact(text, out, lost);
    Count(field, record, lost);
    return;
  }
  if (decoder_) {
    utf8_.clear();
    if (!decoder_->AppendUtf8(text, utf8_, lost)) utf8_.assign(text);
    utf8 = utf8_;
  }
  if (output_ == TOutputCharset::Cp932) {
    Utf8ToCp932Exact(utf8, out, lost);
  } else {
    out.append(utf8);
  }
  Count(field, record, lost);
}

void TAttributeText::Count(int field, int64_t record, int64_t lost) {
  if (lost == 0 || field < 0) return;
  if (reports_.size() <= static_cast<size_t>(field))
    reports_.resize(static_cast<size_t>(field) + 1);
  FieldReport& report = reports_[static_cast<size_t>(field)];
  report.Unmappable += lost;
  if (report.FirstRecords.size() < kFirstRecordsKept &&
      (report.FirstRecords.empty() || report.FirstRecords.back() != record)) {
    report.FirstRecords.push_back(record);
  }
}

}  // namespace plexor
