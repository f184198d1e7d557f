#include "engine/TableEncoding.h"

#include "dbf/localDbf.h"
#include "support/ByteStrings.h"
#include "support/Cp932Encoder.h"
#include "support/Exceptions.h"
#include "support/InputFile.h"
#include "support/TextEncoding.h"

namespace plexor {
namespace {

// A .cpg holds one short name; anything longer is no .cpg we can read.
constexpr size_t kCpgMaxBytes = 256;
constexpr int64_t kLanguageDriverOffset = 29;
// Enough records to meet non-ASCII text in any real table, few enough to cost nothing.
constexpr int kSniffRecords = 100000;

std::string ReadSmallFile(const std::string& path, size_t limit) {
  InputFile file;
  if (!file.OpenRead(path)) return {};
  std::string text(limit, '\0');
  const int64_t got = file.ReadAt(0, text.data(), limit);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::optional<int> LanguageDriverCodePage(const std::string& dbfPath) {
  InputFile file;
  unsigned char byte = 0;
  if (!file.OpenRead(dbfPath) || file.ReadAt(kLanguageDriverOffset, &byte, 1) != 1) return {};
  return CodePageFromLanguageDriver(byte);
}

// The Western code page taken when the bytes are no code page 932 text.
constexpr int kWesternCodePage = 1252;

struct Sniff {
  bool Read = false;      // the table opened and its records were looked at
  bool NonAscii = false;  // some text value held a byte above 0x7F
  bool Complete = false;  // every record was looked at
  Utf8Sniffer Utf8;
  Cp932Sniffer Cp932;
  std::vector<std::string> FieldNames;
  std::vector<bool> AsciiOnly;

  bool IsUtf8() const { return NonAscii && Utf8.IsUtf8(); }
  bool NotUtf8() const { return NonAscii && !Utf8.IsUtf8(); }
};

// What the look at the bytes is for; it stops as soon as that is known.
struct SniffGoals {
  bool Cp932 = false;   // how well the text reads as code page 932
  bool Widths = false;  // which Char fields hold only ASCII
};

// Looks at the text values of the first records. A table that cannot be read here is left
// to the conversion, which reports why.
Sniff SniffText(const std::string& dbfPath, SniffGoals goals) {
  Sniff sniff;
  try {
    TLocalDbf table;
    table.SetTableName(dbfPath);
    table.SetReadOnly(true);
    table.SetReadAhead(true);
    // Record numbers as the conversion counts them; fields as it sees them when it leaves
    // the unsupported ones out (otherwise it refuses the table anyway).
    table.SetShowDeleted(true);
    table.SetSkipUnsupportedFields(true);
    table.Open();
    const int fields = table.FieldCount();
    int textFieldsLeft = 0;
    for (int i = 0; i < fields; ++i) {
      const bool text = table.FieldDef(i).DataType == TFieldType::ftString;
      sniff.FieldNames.push_back(table.FieldDef(i).FieldName);
      sniff.AsciiOnly.push_back(text);
      textFieldsLeft += text;
    }
    int seen = 0;
    for (; !table.Eof() && seen < kSniffRecords; table.Next(), ++seen) {
      const bool encodingKnown = sniff.Utf8.Settled() && (!goals.Cp932 || sniff.Cp932.Settled());
      if (encodingKnown && (!goals.Widths || textFieldsLeft == 0)) break;
      for (int i = 0; i < fields; ++i) {
        const TFieldDef& def = table.FieldDef(i);
        if (def.DataType != TFieldType::ftString) continue;
        const TDbfValue value = table.FieldValue(i);
        const std::string& text = value.AsText();
        if (AsciiPrefixLength(text) == text.size()) continue;
        sniff.NonAscii = true;
        if (sniff.AsciiOnly[static_cast<size_t>(i)]) {
          sniff.AsciiOnly[static_cast<size_t>(i)] = false;
          --textFieldsLeft;
        }
        const bool full = static_cast<int32_t>(text.size()) == def.Size;
        sniff.Utf8.Feed(text, full);
        if (goals.Cp932) sniff.Cp932.Feed(text, full, seen + 1);
      }
    }
    sniff.Complete = table.Eof();
    sniff.Read = true;
  } catch (const std::exception&) {
    sniff = Sniff();
  }
  return sniff;
}

std::string RecordList(const Cp932Sniffer& cp932) {
  std::string list;
  for (int64_t record : cp932.SignRecords()) {
    list += (list.empty() ? "レコード " : ", ") + std::to_string(record);
  }
  if (cp932.SignRecordCount() > static_cast<int64_t>(cp932.SignRecords().size())) list += ", ...";
  return list;
}

// Widths are known from a look that covered the whole table; otherwise, when the output
// would widen columns, the table is looked at once more for that alone.
void KeepAsciiFields(TEncodingDecision& d, const std::string& dbfPath, const Sniff* sniff,
                     std::optional<TOutputCharset> output) {
  if (!output || MaxGrowthOf(d.CodePage, *output) <= 1) return;
  Sniff widths;
  if (sniff && sniff->Complete) {
    widths = *sniff;
  } else {
    widths = SniffText(dbfPath, SniffGoals{false, true});
    if (!widths.Complete) return;  // larger than one look: every column keeps its room
  }
  d.FieldNames = std::move(widths.FieldNames);
  d.AsciiOnly = std::move(widths.AsciiOnly);
}

}  // namespace

TEncodingDecision DecideTableEncoding(const std::string& shpPath, const std::string& dbfPath,
                                      const std::string& option,
                                      std::optional<TOutputCharset> output) {
  TEncodingDecision d;
  if (!option.empty()) {
    const std::optional<int> named = CodePageFromName(option);
    if (!named) throw EConvertError("'" + option + "' は知らない文字コードです");
    d.CodePage = *named;
    d.How = "--encoding";
    KeepAsciiFields(d, dbfPath, nullptr, output);
    return d;
  }
  const std::string cpgPath = FindInputCaseVariant(ChangeFileExt(shpPath, ".cpg"));
  if (InputFileExists(cpgPath)) {
    const std::string text = ReadSmallFile(cpgPath, kCpgMaxBytes);
    if (const std::optional<int> named = CodePageFromName(text)) {
      d.CodePage = *named;
      d.How = ".cpg";
      // A .cpg is written by hand or by a program guessing; the bytes have the last word.
      const bool widths = output && MaxGrowthOf(d.CodePage, *output) > 1;
      const Sniff sniff = SniffText(dbfPath, SniffGoals{false, widths});
      if ((d.CodePage == kCodePageUtf8 && sniff.NotUtf8()) ||
          (d.CodePage != kCodePageUtf8 && sniff.IsUtf8())) {
        d.Warnings.push_back(".cpg は " + CodePageName(d.CodePage) + " ですが、属性の内容は " +
                             (sniff.IsUtf8() ? "UTF-8 に見えます" : "UTF-8 ではありません") +
                             "。--encoding で指定できます。");
      }
      KeepAsciiFields(d, dbfPath, &sniff, output);
      return d;
    }
    std::string shown = TrimBlanks(text).substr(0, 40);
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    }
    d.Warnings.push_back(".cpg の文字コード名を知りません: " + shown +
                         " (--encoding で指定できます)");
  }
  if (const std::optional<int> driver = LanguageDriverCodePage(dbfPath)) {
    d.CodePage = *driver;
    d.How = "言語ドライバー";
    KeepAsciiFields(d, dbfPath, nullptr, output);
    return d;
  }
  const Sniff sniff = SniffText(dbfPath, SniffGoals{true, output == TOutputCharset::Utf8});
  d.How = "内容";
  if (sniff.IsUtf8()) {
    d.CodePage = kCodePageUtf8;
  } else if (sniff.NotUtf8() && sniff.Cp932.Result() == Cp932Sniffer::Verdict::Western) {
    // Code page 932 would turn OPERAÇÃO into OPERAﾇﾃO without a word: the table says nothing
    // of its code page, and its bytes read as a Western one.
    d.CodePage = kWesternCodePage;
    d.How = "内容、CP932 ではない";
    d.Warnings.push_back("属性の文字列が CP932 の文字として読めないか欧文の文字に見えるため、" +
                         CodePageName(kWesternCodePage) + " として読みました (" +
                         RecordList(sniff.Cp932) +
                         ")。別の文字コードなら --encoding で指定してください。");
  } else {
    d.CodePage = kCodePageCp932;
    if (sniff.NotUtf8() && sniff.Cp932.Result() == Cp932Sniffer::Verdict::Doubtful) {
      d.How = "内容、要確認";
      d.Warnings.push_back(
          "属性の文字列の一部が CP932 として不自然です (" + RecordList(sniff.Cp932) +
          ")。CP932 として読みました。別の文字コード (欧文なら CP1252) なら --encoding で"
          "指定してください。");
    }
  }
  KeepAsciiFields(d, dbfPath, &sniff, output);
  return d;
}

std::string EncodingSummaryText(const TEncodingDecision& decision) {
  return CodePageName(decision.CodePage) + " (" + decision.How + ")";
}

}  // namespace plexor
