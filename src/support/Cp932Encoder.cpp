#include "support/Cp932Encoder.h"

#include <cstring>

#include "support/ByteStrings.h"

namespace plexor {
namespace {

#include "support/Cp932Table.inc"

// Trail bytes 0x40-0x7E and 0x80-0xFC: 188 per lead byte.
constexpr int kTrailsPerLead = 188;
constexpr unsigned char kFirstUserDefinedLead = 0xF0;
constexpr unsigned char kLastUserDefinedLead = 0xF9;
constexpr char32_t kUserDefinedBase = 0xE000;
constexpr char32_t kReplacement = 0xFFFD;

// The code for each BMP character, 0 for none (ASCII never looks here).
struct EncodeTable {
  uint16_t Code[0x10000] = {};
  EncodeTable();
};

const EncodeTable& Cp932EncodeTable();
void AppendCp932(const Utf8Char& c, std::string& out, int64_t& unmappable);
char32_t DecodePair(unsigned char lead, unsigned char trail);
int TrailIndex(unsigned char trail);
bool IsVariationSelector(char32_t c);

}  // namespace

void Utf8ToCp932Exact(std::string_view utf8, std::string& out, int64_t& unmappable) {
  AppendConvertingNonAscii(utf8, out, [&](size_t pos) {
    const Utf8Char c = ReadUtf8Char(utf8, pos);
    AppendCp932(c, out, unmappable);
    return c.Length;
  });
}

void Cp932ToUtf8Exact(std::string_view cp932, std::string& out, int64_t& undecodable) {
  AppendConvertingNonAscii(cp932, out, [&](size_t pos) -> size_t {
    const auto lead = static_cast<unsigned char>(cp932[pos]);
    char32_t c = 0;
    size_t length = 1;
    if (!IsCp932LeadByte(lead)) {
      c = kCp932SingleBytes[lead - 0x80];
    } else if (pos + 1 < cp932.size() &&
               TrailIndex(static_cast<unsigned char>(cp932[pos + 1])) >= 0) {
      c = DecodePair(lead, static_cast<unsigned char>(cp932[pos + 1]));
      length = 2;
    }
    if (c == 0) {
      c = kReplacement;
      ++undecodable;
    }
    AppendUtf8(c, out);
    return length;
  });
}

Utf8Char ReadUtf8Char(std::string_view text, size_t pos) {
  const auto first = static_cast<unsigned char>(text[pos]);
  if (first < 0x80) return {first, 1, true, false};
  // 0x80-0xC1 never start a sequence (continuations, overlong two-byte forms), nor 0xF5 up.
  if (first < 0xC2 || first > 0xF4) return {0, 1, false, false};
  const size_t more = first < 0xE0 ? 1 : first < 0xF0 ? 2 : 3;
  // The second byte's range is narrower after E0, ED, F0 and F4: that excludes overlong
  // forms, surrogates and code points above U+10FFFF.
  unsigned char low = first == 0xE0 ? 0xA0 : first == 0xF0 ? 0x90 : 0x80;
  unsigned char high = first == 0xED ? 0x9F : first == 0xF4 ? 0x8F : 0xBF;
  char32_t code = first & (0x7F >> (more + 1));
  for (size_t i = 1; i <= more; ++i) {
    if (pos + i >= text.size()) return {0, i, false, true};
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if (b < low || b > high) return {0, i, false, false};
    code = (code << 6) | (b & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {code, more + 1, true, false};
}

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

size_t AsciiPrefixLength(std::string_view text) {
  // Eight bytes at a time: most attribute values are ASCII through and through.
  constexpr uint64_t kHighBits = 0x8080808080808080ULL;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if (word & kHighBits) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

namespace {

// Characters that Japanese text from other systems writes where code page 932 has a
// character of the same meaning: the left one takes the right one's code.
struct BestFit {
  char32_t From;
  char32_t As;
};
constexpr BestFit kBestFits[] = {
    {0x301C, 0xFF5E},  // WAVE DASH as FULLWIDTH TILDE
    {0x2016, 0x2225},  // DOUBLE VERTICAL LINE as PARALLEL TO
    {0x2212, 0xFF0D},  // MINUS SIGN as FULLWIDTH HYPHEN-MINUS
    {0x00A2, 0xFFE0},  // CENT SIGN as FULLWIDTH CENT SIGN
    {0x00A3, 0xFFE1},  // POUND SIGN as FULLWIDTH POUND SIGN
    {0x00AC, 0xFFE2},  // NOT SIGN as FULLWIDTH NOT SIGN
    {0x2014, 0x2015},  // EM DASH as HORIZONTAL BAR
    {0x00A5, 0x005C},  // YEN SIGN as 0x5C, which Japanese fonts draw as a yen sign
    {0x203E, 0x007E},  // OVERLINE as 0x7E, which Japanese fonts draw as an overline
};

// Lead bytes in the order Windows prefers their codes when several decode to the same
// character: ascending, but the NEC-selected IBM extensions after the IBM extensions.
constexpr unsigned char kLeadPreference[][2] = {
    {0x81, 0x9F}, {0xE0, 0xEC}, {0xEF, 0xFC}, {0xED, 0xEE}};

EncodeTable::EncodeTable() {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char32_t c = kCp932SingleBytes[b - 0x80];
    if (c != 0 && Code[c] == 0) Code[c] = static_cast<uint16_t>(b);
  }
  for (const auto& range : kLeadPreference) {
    for (int lead = range[0]; lead <= range[1]; ++lead) {
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const char32_t c =
            DecodePair(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
        if (c != 0 && Code[c] == 0) Code[c] = static_cast<uint16_t>(lead << 8 | trail);
      }
    }
  }
  for (const BestFit& fit : kBestFits) {
    if (Code[fit.From] == 0)
      Code[fit.From] = fit.As < 0x80 ? static_cast<uint16_t>(fit.As) : Code[fit.As];
  }
}

const EncodeTable& Cp932EncodeTable() {
  static const EncodeTable table;
  return table;
}

void AppendCp932(const Utf8Char& c, std::string& out, int64_t& unmappable) {
  if (c.Valid && IsVariationSelector(c.Code)) return;
  const uint16_t code = c.Valid && c.Code <= 0xFFFF ? Cp932EncodeTable().Code[c.Code] : 0;
  if (code == 0) {
    out.append(kCp932Geta);
    ++unmappable;
  } else if (code < 0x100) {
    out.push_back(static_cast<char>(code));
  } else {
    out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
  }
}

// The character of a lead byte and a trail byte (0x40-0x7E, 0x80-0xFC), 0 for none.
char32_t DecodePair(unsigned char lead, unsigned char trail) {
  const int index = TrailIndex(trail);
  if (lead >= kFirstUserDefinedLead && lead <= kLastUserDefinedLead) {
    return kUserDefinedBase + (lead - kFirstUserDefinedLead) * kTrailsPerLead + index;
  }
  const uint8_t row = kCp932RowOfLead[lead];
  return row == 0xFF ? 0 : kCp932Rows[row][index];
}

// The trail byte's place in a row, or -1 when the byte cannot follow a lead byte.
int TrailIndex(unsigned char trail) {
  if (trail >= 0x40 && trail <= 0x7E) return trail - 0x40;
  if (trail >= 0x80 && trail <= 0xFC) return trail - 0x41;
  return -1;
}

bool IsVariationSelector(char32_t c) {
  return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
}

}  // namespace
}  // namespace plexor
