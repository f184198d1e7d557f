#include "hostile/StrictJson.h"

#include <cstdint>

namespace plexor::hostile {
namespace {

// Deeper than anything the program writes; the cap keeps a hostile text off the stack's end.
constexpr int kMaxDepth = 64;

// The length of the UTF-8 sequence at `at` by RFC 3629's table of well-formed byte sequences,
// or 0 when it is not one.
size_t SequenceLength(std::string_view s, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  auto trail = [&](size_t i, unsigned char lo, unsigned char hi) {
    return i < s.size() && byte(i) >= lo && byte(i) <= hi;
  };
  const unsigned char c = byte(at);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return trail(at + 1, 0x80, 0xBF) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;  // no overlong form
    const unsigned char hi = c == 0xED ? 0x9F : 0xBF;  // no surrogate
    return trail(at + 1, lo, hi) && trail(at + 2, 0x80, 0xBF) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;  // no overlong form
    const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
    return trail(at + 1, lo, hi) && trail(at + 2, 0x80, 0xBF) && trail(at + 3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

void AppendUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  std::optional<JsonValue> Document(std::string& error) {
    JsonValue v;
    SkipWhitespace();
    if (Value(v, 0)) {
      SkipWhitespace();
      if (at_ != s_.size()) Fail("text after the value");
    }
    if (!error_.empty()) {
      error = error_ + " at byte " + std::to_string(at_);
      return std::nullopt;
    }
    return v;
  }

 private:
  bool Fail(const char* what) {
    if (error_.empty()) error_ = what;
    return false;
  }
  bool More() const { return at_ < s_.size(); }
  char Peek() const { return s_[at_]; }
  // JSON's whitespace is these four bytes and no other.
  void SkipWhitespace() {
    while (More() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++at_;
  }
  bool Literal(std::string_view word) {
    if (s_.substr(at_, word.size()) != word) return Fail("an unknown literal");
    at_ += word.size();
    return true;
  }

  bool Value(JsonValue& v, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deep");
    if (!More()) return Fail("a value missing");
    switch (Peek()) {
      case '{':
        v.kind = JsonValue::Kind::Object;
        return Object(v, depth);
      case '[':
        v.kind = JsonValue::Kind::Array;
        return Array(v, depth);
      case '"':
        v.kind = JsonValue::Kind::String;
        return String(v.text);
      case 't':
        v.kind = JsonValue::Kind::Boolean;
        v.boolean = true;
        return Literal("true");
      case 'f':
        v.kind = JsonValue::Kind::Boolean;
        return Literal("false");
      case 'n':
        return Literal("null");
      default:
        v.kind = JsonValue::Kind::Number;
        return Number(v.number);
    }
  }

  bool Object(JsonValue& v, int depth) {
    ++at_;
    SkipWhitespace();
    if (More() && Peek() == '}') return ++at_, true;
    for (;;) {
      SkipWhitespace();
      if (!More() || Peek() != '"') return Fail("a member name missing");
      std::string name;
      if (!String(name)) return false;
      if (v.Find(name)) return Fail("a member name given twice");
      SkipWhitespace();
      if (!More() || Peek() != ':') return Fail("a colon missing");
      ++at_;
      SkipWhitespace();
      JsonValue member;
      if (!Value(member, depth + 1)) return false;
      v.names.push_back(std::move(name));
      v.items.push_back(std::move(member));
      SkipWhitespace();
      if (!More()) return Fail("an object not closed");
      if (Peek() == '}') return ++at_, true;
      if (Peek() != ',') return Fail("a comma missing in an object");
      ++at_;
    }
  }

  bool Array(JsonValue& v, int depth) {
    ++at_;
    SkipWhitespace();
    if (More() && Peek() == ']') return ++at_, true;
    for (;;) {
      SkipWhitespace();
      if (!Value(v.items.emplace_back(), depth + 1)) return false;
      SkipWhitespace();
      if (!More()) return Fail("an array not closed");
      if (Peek() == ']') return ++at_, true;
      if (Peek() != ',') return Fail("a comma missing in an array");
      ++at_;
    }
  }

  bool Hex4(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      if (!More()) return Fail("a \\u escape cut");
      const char c = Peek();
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return Fail("a \\u escape with a non-hex digit");
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    return true;
  }

  bool String(std::string& out) {
    ++at_;
    for (;;) {
      if (!More()) return Fail("a string not closed");
      const auto c = static_cast<unsigned char>(Peek());
      if (c == '"') return ++at_, true;
      if (c < 0x20) return Fail("a control byte inside a string");
      if (c != '\\') {
        const size_t n = SequenceLength(s_, at_);
        if (n == 0) return Fail("a string that is not UTF-8");
        out.append(s_.substr(at_, n));
        at_ += n;
        continue;
      }
      ++at_;
      if (!More()) return Fail("an escape cut");
      const char e = Peek();
      ++at_;
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          uint32_t cp = 0;
          if (!Hex4(cp)) return false;
          // A surrogate stands for a character only as a high and low pair.
          if (cp >= 0xDC00 && cp <= 0xDFFF) return Fail("a lone low surrogate");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t low = 0;
            if (s_.substr(at_, 2) != "\\u") return Fail("a lone high surrogate");
            at_ += 2;
            if (!Hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("a high surrogate without its low one");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(cp, out);
          break;
        }
        default:
          return Fail("an unknown escape");
      }
    }
  }

  // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
  bool Number(std::string& out) {
    const size_t start = at_;
    auto digits = [&] {
      const size_t from = at_;
      while (More() && Peek() >= '0' && Peek() <= '9') ++at_;
      return at_ - from;
    };
    if (More() && Peek() == '-') ++at_;
    if (!More()) return Fail("a number cut");
    if (Peek() == '0') {
      ++at_;
    } else if (digits() == 0) {
      return Fail("an unexpected byte");
    }
    if (More() && Peek() == '.') {
      ++at_;
      if (digits() == 0) return Fail("a fraction without digits");
    }
    if (More() && (Peek() == 'e' || Peek() == 'E')) {
      ++at_;
      if (More() && (Peek() == '+' || Peek() == '-')) ++at_;
      if (digits() == 0) return Fail("an exponent without digits");
    }
    out.assign(s_.substr(start, at_ - start));
    return true;
  }

  std::string_view s_;
  size_t at_ = 0;
  std::string error_;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return &items[i];
  }
  return nullptr;
}

std::optional<JsonValue> ParseStrictJson(std::string_view text, std::string& error) {
  return Parser(text).Document(error);
}

bool IsStrictUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t n = SequenceLength(text, at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

}  // namespace plexor::hostile
