// A strict reader of JSON text, the oracle of the hostile-input targets for what the program
// writes as JSON: RFC 8259 to the letter, and UTF-8 as RFC 3629 has it (no overlong forms,
// no surrogates, nothing beyond U+10FFFF), escapes included; names unique within an object.
// It is written apart from the program's writer so that a fault in one is not repeated here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plexor::hostile {

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string number;              // the number as written
  std::string text;                // a string, its escapes resolved
  std::vector<JsonValue> items;    // of an array; of an object, its members' values
  std::vector<std::string> names;  // of an object, its members' names in the order written

  // The member named `name` of an object, or nullptr.
  const JsonValue* Find(std::string_view name) const;
};

// The value the whole text holds, or nullopt with `error` saying what is wrong and where.
std::optional<JsonValue> ParseStrictJson(std::string_view text, std::string& error);

// Well-formed UTF-8 by RFC 3629.
bool IsStrictUtf8(std::string_view text);

}  // namespace plexor::hostile
