#include "engine/Wkt.h"

#include <charconv>
#include <cmath>

#include "support/ByteStrings.h"

namespace plexor {
namespace {

// Real systems nest about eight deep (a WKT2 bound CRS); the cap keeps hostile nesting
// from running the recursion off the stack.
constexpr int kMaxWktDepth = 32;

class WktParser {
 public:
  explicit WktParser(std::string_view text) : text_(text) {}
  // The root node; nullopt with Error() set when the text is no WKT.
  std::optional<WktNode> Parse();
  const std::string& Error() const { return error_; }

 private:
  bool ParseNode(WktNode& node, int depth);
  bool ParseValue(WktNode& node, int depth);
  bool ParseQuoted(std::string& out);
  bool ParseNumber(double& out);
  std::string_view Word();
  void SkipBlanks();
  bool Fail(const char* what);

  std::string_view text_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

std::optional<WktNode> ParseWkt(std::string_view text, std::string& error) {
  WktParser parser(text);
  std::optional<WktNode> root = parser.Parse();
  error = parser.Error();
  return root;
}

namespace {

std::optional<WktNode> WktParser::Parse() {
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;  // a UTF-8 byte order mark
  SkipBlanks();
  WktNode root;
  root.Keyword = UpperAscii(Word());
  if (root.Keyword.empty()) {
    Fail(pos_ >= text_.size() ? "定義が空です" : "先頭がキーワードではありません");
    return std::nullopt;
  }
  if (!ParseNode(root, 1)) return std::nullopt;
  SkipBlanks();
  // ESRI writes a system with heights as its horizontal part, a comma and a VERTCS: read
  // them as the parts of one compound system.
  WktNode compound;
  compound.Keyword = "COMPD_CS";
  while (pos_ < text_.size() && text_[pos_] == ',' && compound.Children.size() < 4) {
    ++pos_;
    SkipBlanks();
    WktNode part;
    part.Keyword = UpperAscii(Word());
    if (part.Keyword.empty() || !ParseNode(part, 2)) break;
    compound.Children.push_back(std::move(part));
    SkipBlanks();
  }
  if (pos_ < text_.size()) {
    Fail("定義の後に余分な文字があります");
    return std::nullopt;
  }
  if (compound.Children.empty()) return root;
  compound.Children.insert(compound.Children.begin(), std::move(root));
  return compound;
}

// After the keyword: the bracketed, comma-separated values.
bool WktParser::ParseNode(WktNode& node, int depth) {
  if (depth > kMaxWktDepth) return Fail("入れ子が深すぎます");
  SkipBlanks();
  if (pos_ >= text_.size() || (text_[pos_] != '[' && text_[pos_] != '(')) {
    return Fail("括弧がありません");
  }
  const char close = text_[pos_++] == '[' ? ']' : ')';
  SkipBlanks();
  if (pos_ < text_.size() && text_[pos_] == close) {
    ++pos_;
    return true;
  }
  for (;;) {
    if (!ParseValue(node, depth)) return false;
    SkipBlanks();
    if (pos_ >= text_.size()) return Fail("括弧が閉じていません");
    if (text_[pos_] == close) {
      ++pos_;
      return true;
    }
    if (text_[pos_] != ',') return Fail("区切りが不正です");
    ++pos_;
  }
}

bool WktParser::ParseValue(WktNode& node, int depth) {
  SkipBlanks();
  if (pos_ >= text_.size()) return Fail("括弧が閉じていません");
  const char c = text_[pos_];
  if (c == '"') return ParseQuoted(node.Texts.emplace_back());
  if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.') {
    return ParseNumber(node.Numbers.emplace_back());
  }
  const std::string_view word = Word();
  if (word.empty()) return Fail("予期しない文字があります");
  SkipBlanks();
  if (pos_ < text_.size() && (text_[pos_] == '[' || text_[pos_] == '(')) {
    WktNode& child = node.Children.emplace_back();
    child.Keyword = UpperAscii(word);
    return ParseNode(child, depth + 1);
  }
  node.Texts.emplace_back(word);
  return true;
}

// A doubled quote stands for one quote inside the text (WKT2).
bool WktParser::ParseQuoted(std::string& out) {
  ++pos_;
  for (;;) {
    const size_t end = text_.find('"', pos_);
    if (end == std::string_view::npos) return Fail("引用符が閉じていません");
    out.append(text_.substr(pos_, end - pos_));
    pos_ = end + 1;
    if (pos_ >= text_.size() || text_[pos_] != '"') return true;
    out.push_back('"');
    ++pos_;
  }
}

bool WktParser::ParseNumber(double& out) {
  const size_t start = pos_;
  while (pos_ < text_.size() &&
         std::string_view("0123456789+-.eE").find(text_[pos_]) != std::string_view::npos) {
    ++pos_;
  }
  // from_chars takes no plus sign; one before a digit or point is harmless.
  size_t first = start;
  if (text_[first] == '+' && first + 1 < pos_ && text_[first + 1] != '-') ++first;
  const char* end = text_.data() + pos_;
  const auto [ptr, ec] = std::from_chars(text_.data() + first, end, out);
  if (ec == std::errc() && ptr == end) return true;
  pos_ = start;
  return Fail("数値が不正です");
}

std::string_view WktParser::Word() {
  const size_t start = pos_;
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && !(pos_ > start && c >= '0' && c <= '9')) break;
    ++pos_;
  }
  return text_.substr(start, pos_ - start);
}

// Blanks are the bytes 0 to 32, as everywhere in the program: line ends and NUL padding
// that some writers leave at the end of the file go with them.
void WktParser::SkipBlanks() {
  while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= 32) ++pos_;
}

bool WktParser::Fail(const char* what) {
  error_ = std::string(what) + " (" + std::to_string(pos_ + 1) + " バイト目)";
  return false;
}

int CodeFromNumber(double value) {
  if (!(value > 0 && value < 1e9) || value != std::floor(value)) return 0;
  return static_cast<int>(value);
}

int CodeFromText(std::string_view text) {
  int code = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
  return ec == std::errc() && ptr == text.data() + text.size() && code > 0 ? code : 0;
}

}  // namespace

bool IsOneOf(std::string_view keyword, std::initializer_list<std::string_view> keywords) {
  for (const std::string_view k : keywords) {
    if (keyword == k) return true;
  }
  return false;
}

const WktNode* Child(const WktNode& node, std::initializer_list<std::string_view> keywords) {
  for (const WktNode& child : node.Children) {
    if (IsOneOf(child.Keyword, keywords)) return &child;
  }
  return nullptr;
}

std::string_view NameOf(const WktNode& node) {
  return node.Texts.empty() ? std::string_view() : std::string_view(node.Texts[0]);
}

// Upper-case letters and digits only, bracketed notes left out: "D_JGD_2000", "Japanese
// Geodetic Datum 2000", "World Geodetic System 1984 [EPSG ID 6326]" and "Transverse_Mercator"
// compare with the spellings of other writers.
std::string NormalName(std::string_view name) {
  if (name.size() >= 2 && (name[0] == 'D' || name[0] == 'd') && name[1] == '_') {
    name.remove_prefix(2);  // ESRI's datum prefix
  }
  std::string out;
  int depth = 0;
  for (const char c : UpperAscii(name)) {
    if (c == '[' || c == '(') {
      ++depth;
    } else if ((c == ']' || c == ')') && depth > 0) {
      --depth;
    } else if (depth == 0 && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
      out.push_back(c);
    }
  }
  return out;
}

int EpsgCodeInName(std::string_view name) {
  const std::string upper = UpperAscii(name);
  for (size_t open = upper.find_first_of("[("); open != std::string::npos;
       open = upper.find_first_of("[(", open + 1)) {
    const size_t close = upper.find_first_of("])", open);
    if (close == std::string::npos) return 0;
    std::string_view note = std::string_view(upper).substr(open + 1, close - open - 1);
    note = TrimBlanksView(note);
    if (note.substr(0, 4) != "EPSG") continue;
    note.remove_prefix(4);
    // "EPSG ID 6326", "EPSG:6326", "EPSG 6326"
    while (!note.empty() && (note[0] == ' ' || note[0] == ':' || note[0] == '_')) {
      note.remove_prefix(1);
    }
    if (note.substr(0, 2) == "ID") note.remove_prefix(2);
    if (const int code = CodeFromText(TrimBlanksView(note))) return code;
  }
  return 0;
}

// The EPSG code of AUTHORITY["EPSG","4301"] (WKT1) or ID["EPSG",4301] (WKT2); failing both,
// one noted in the name.
int EpsgCodeOf(const WktNode& node) {
  for (const WktNode& child : node.Children) {
    if (!IsOneOf(child.Keyword, {"AUTHORITY", "ID"})) continue;
    if (child.Texts.empty() || !SameTextAscii(child.Texts[0], "EPSG")) continue;
    if (child.Texts.size() >= 2) return CodeFromText(child.Texts[1]);
    if (!child.Numbers.empty()) return CodeFromNumber(child.Numbers[0]);
  }
  return EpsgCodeInName(NameOf(node));
}

bool IsProjected(const WktNode& node) {
  return IsOneOf(node.Keyword, {"PROJCS", "PROJCRS", "PROJECTEDCRS"});
}

// WKT2 calls a geographic system geodetic too; the ellipsoidal axes tell it from a
// geocentric one.
bool IsGeographic(const WktNode& node) {
  if (IsOneOf(node.Keyword, {"GEOGCS", "GEOGCRS", "GEOGRAPHICCRS"})) return true;
  if (!IsOneOf(node.Keyword, {"GEODCRS", "GEODETICCRS"})) return false;
  const WktNode* cs = Child(node, {"CS"});
  return cs && !cs->Texts.empty() && SameTextAscii(cs->Texts[0], "ellipsoidal");
}

// The horizontal part of a compound system, or the source of a WKT2 bound one.
const WktNode* HorizontalCrs(const WktNode& node, int depth) {
  if (IsProjected(node) || IsGeographic(node)) return &node;
  if (depth >= 3 || !IsOneOf(node.Keyword, {"COMPD_CS", "COMPOUNDCRS", "BOUNDCRS", "SOURCECRS"})) {
    return nullptr;
  }
  for (const WktNode& child : node.Children) {
    if (const WktNode* found = HorizontalCrs(child, depth + 1)) return found;
  }
  return nullptr;
}

// WKT1 states the unit on the system; WKT2 on each axis.
const WktNode* UnitOf(const WktNode& crs, std::initializer_list<std::string_view> keywords) {
  if (const WktNode* unit = Child(crs, keywords)) return unit;
  for (const WktNode& child : crs.Children) {
    if (child.Keyword != "AXIS") continue;
    if (const WktNode* unit = Child(child, keywords)) return unit;
  }
  return nullptr;
}

double FactorOf(const WktNode* unit) {
  return unit && !unit->Numbers.empty() ? unit->Numbers[0] : std::nan("");
}

}  // namespace plexor
