#include "engine/TableEncoding.h"

#include "dbf/localDbf.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/TextEncoding.h"

namespace plexor {
namespace {

// A .cpg holds one short name; anything longer is no .cpg we can read.
constexpr size_t kCpgMaxBytes = 256;
constexpr int64_t kLanguageDriverOffset = 29;
// Enough records to meet non-ASCII text in any real table, few enough to cost nothing.
constexpr int kSniffRecords = 100000;

std::string ReadSmallFile(const std::string& path, size_t limit) {
  FileHandle file;
  if (!file.OpenRead(path)) return {};
  std::string text(limit, '\0');
  const int64_t got = file.ReadAt(0, text.data(), limit);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::optional<int> LanguageDriverCodePage(const std::string& dbfPath) {
  FileHandle file;
  unsigned char byte = 0;
  if (!file.OpenRead(dbfPath) || file.ReadAt(kLanguageDriverOffset, &byte, 1) != 1) return {};
  return CodePageFromLanguageDriver(byte);
}

enum class Sniffed { Utf8, NotUtf8, AsciiOnly };

// Looks at the text values of the first records. A table that cannot be read here is left
// to the conversion, which reports why.
Sniffed SniffText(const std::string& dbfPath) {
  Utf8Sniffer sniffer;
  bool nonAscii = false;
  try {
    TLocalDbf table;
    table.SetTableName(dbfPath);
    table.SetReadOnly(true);
    table.SetReadAhead(true);
    table.Open();
    int seen = 0;
    for (; !table.Eof() && seen < kSniffRecords && !sniffer.Settled(); table.Next(), ++seen) {
      for (int i = 0; i < table.FieldCount(); ++i) {
        const TFieldDef& def = table.FieldDef(i);
        if (def.DataType != TFieldType::ftString) continue;
        const TDbfValue value = table.FieldValue(i);
        const std::string& text = value.AsText();
        for (char c : text) nonAscii = nonAscii || static_cast<unsigned char>(c) >= 0x80;
        sniffer.Feed(text, static_cast<int32_t>(text.size()) == def.Size);
      }
    }
  } catch (const std::exception&) {
    return Sniffed::AsciiOnly;
  }
  if (!nonAscii) return Sniffed::AsciiOnly;
  return sniffer.IsUtf8() ? Sniffed::Utf8 : Sniffed::NotUtf8;
}

}  // namespace

TEncodingDecision DecideTableEncoding(const std::string& shpPath, const std::string& dbfPath,
                                      const std::string& option) {
  TEncodingDecision d;
  if (!option.empty()) {
    const std::optional<int> named = CodePageFromName(option);
    if (!named) throw EConvertError("'" + option + "' は知らない文字コードです");
    d.CodePage = *named;
    d.How = "--encoding";
    return d;
  }
  const std::string cpgPath = FindExtensionCaseVariant(ChangeFileExt(shpPath, ".cpg"));
  if (RegularFileExists(cpgPath)) {
    const std::string text = ReadSmallFile(cpgPath, kCpgMaxBytes);
    if (const std::optional<int> named = CodePageFromName(text)) {
      d.CodePage = *named;
      d.How = ".cpg";
      // A .cpg is written by hand or by a program guessing; the bytes have the last word.
      const Sniffed sniffed = SniffText(dbfPath);
      if ((d.CodePage == kCodePageUtf8 && sniffed == Sniffed::NotUtf8) ||
          (d.CodePage != kCodePageUtf8 && sniffed == Sniffed::Utf8)) {
        d.Warnings.push_back(
            ".cpg は " + CodePageName(d.CodePage) + " ですが、属性の内容は " +
            (sniffed == Sniffed::Utf8 ? "UTF-8 に見えます" : "UTF-8 ではありません") +
            "。--encoding で指定できます。");
      }
      return d;
    }
    std::string shown = TrimBlanks(text).substr(0, 40);
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    }
    d.Warnings.push_back(".cpg の文字コード名を読めません: " + shown);
  }
  if (const std::optional<int> driver = LanguageDriverCodePage(dbfPath)) {
    d.CodePage = *driver;
    d.How = "言語ドライバー";
    return d;
  }
  d.CodePage = SniffText(dbfPath) == Sniffed::Utf8 ? kCodePageUtf8 : kCodePageCp932;
  d.How = "内容";
  return d;
}

std::string EncodingSummaryText(const TEncodingDecision& decision) {
  return CodePageName(decision.CodePage) + " (" + decision.How + ")";
}

}  // namespace plexor
