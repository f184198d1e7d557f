// Code page 932 <-> UTF-8 through a table of our own (Cp932Table.inc, made by
// tools/gen_cp932_table.py), so that a table converts to the same bytes on Linux and on
// Windows. Attribute data and the texts shown to people (Cp932ToUtf8/Utf8ToCp932 of
// ByteStrings.h) both go through it.
//
// Decoding is Microsoft's code page 932 table, the user-defined area (lead bytes 0xF0-0xF9)
// included as the private use area U+E000-U+E757.
//
// Encoding takes, for a character that several codes decode to, the code Windows picks:
// the lowest one, except that the NEC-selected IBM extensions (lead bytes 0xED, 0xEE) come
// after the IBM extensions (0xFA-0xFC). So U+2252 is 0x81E0, U+2160 is 0x8754, U+2170 is
// 0xFA40 and U+4E28 is 0xFA68 (not 0xED4C). On top of that a few characters that Japanese text from
// other systems writes for a code page 932 character take that character's code, as Windows' best
// fit does: U+301C as U+FF5E (0x8160), U+2016 as U+2225 (0x8161), U+2212 as U+FF0D (0x817C),
// U+00A2/U+00A3/U+00AC as U+FFE0/U+FFE1/U+FFE2 (0x8191/0x8192/0x81CA), U+2014 as U+2015
// (0x815C), U+00A5 as 0x5C and U+203E as 0x7E. Windows' best fit goes further (it strips
// accents, é becomes e); we do not, because that silently changes names: é has no code page
// 932 form and becomes 〓.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plexor {

// The geta mark 〓, written for a character code page 932 cannot hold.
inline constexpr std::string_view kCp932Geta = "\x81\xAC";

// Appends `utf8` in code page 932 to `out`. Variation selectors (U+FE00-U+FE0F,
// U+E0100-U+E01EF) are dropped: they only pick a glyph of the character before them. A
// character without a code page 932 form and each broken UTF-8 sequence become 〓 and add
// one to `unmappable`. ASCII runs are copied as they are.
void Utf8ToCp932Exact(std::string_view utf8, std::string& out, int64_t& unmappable);

// Appends code page 932 bytes `cp932` as UTF-8 to `out`. A byte or a pair that holds no
// character becomes U+FFFD (the output is UTF-8, where that is the mark readers know) and
// adds one to `undecodable`. A lead byte whose next byte cannot be a trail byte is taken
// alone, so the ASCII after a stray lead byte survives.
void Cp932ToUtf8Exact(std::string_view cp932, std::string& out, int64_t& undecodable);

// One character read from UTF-8 text.
struct Utf8Char {
  char32_t Code = 0;  // the character, when Valid
  // Bytes taken: the whole sequence, or the broken start of one (at least 1 byte), so that a
  // reader resumes at the first byte that could start a character.
  size_t Length = 0;
  bool Valid = false;
  // Broken only because the text ended inside a sequence that was well formed so far.
  bool Cut = false;
};

// Reads the character at `pos` (< text.size()) by the well-formedness rules of UTF-8: no
// overlong forms, no surrogates, nothing above U+10FFFF.
Utf8Char ReadUtf8Char(std::string_view text, size_t pos);

// Appends `code` (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(char32_t code, std::string& out);

// How many bytes at the start of `text` are ASCII.
size_t AsciiPrefixLength(std::string_view text);

// Appends `in` to `out`: runs of ASCII as they are, and at every other byte `other(pos)`,
// which appends what the character starting there becomes and returns its length in `in`
// (at least 1). ASCII is the same in every encoding handled here, so only the rest costs.
template <typename Other>
void AppendConvertingNonAscii(std::string_view in, std::string& out, Other other) {
  size_t pos = 0;
  while (pos < in.size()) {
    const size_t ascii = AsciiPrefixLength(in.substr(pos));
    out.append(in.data() + pos, ascii);
    pos += ascii;
    if (pos < in.size()) pos += other(pos);
  }
}

}  // namespace plexor
