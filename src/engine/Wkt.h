// Well-known text (WKT) of coordinate systems, ESRI's and OGC's WKT1 and WKT2 alike, read into
// a tree of keyword nodes, and the questions the .prj matching asks of that tree.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plexor {

// One KEYWORD[...] of the text. Values keep their order within each kind, which is all
// the reading below needs: the name is the first text, a parameter's value the first number.
struct WktNode {
  std::string Keyword;             // upper-cased
  std::vector<std::string> Texts;  // quoted strings and bare words such as NORTH
  std::vector<double> Numbers;
  std::vector<WktNode> Children;
};

// The root node of the text; nullopt with `error` (UTF-8, naming the byte) when it is no WKT.
// Never throws: garbage, truncation and hostile nesting all give an error.
std::optional<WktNode> ParseWkt(std::string_view text, std::string& error);

bool IsOneOf(std::string_view keyword, std::initializer_list<std::string_view> keywords);
// The first child with one of the keywords, or nullptr.
const WktNode* Child(const WktNode& node, std::initializer_list<std::string_view> keywords);
// The node's first text, its name by WKT's convention.
std::string_view NameOf(const WktNode& node);
// Upper-case letters and digits only, ESRI's "D_" datum prefix and bracketed notes such as
// "[EPSG ID 6326]" dropped.
std::string NormalName(std::string_view name);
// The code of a note "[EPSG ID 6326]" or "(EPSG:6326)" in a name; 0 when none.
int EpsgCodeInName(std::string_view name);
// The EPSG code of AUTHORITY["EPSG","4301"] (WKT1) or ID["EPSG",4301] (WKT2), or else of a
// note in the node's name; 0 when none.
int EpsgCodeOf(const WktNode& node);
bool IsProjected(const WktNode& node);
bool IsGeographic(const WktNode& node);
// The horizontal part of a compound system, or the source of a WKT2 bound one.
const WktNode* HorizontalCrs(const WktNode& node, int depth = 0);
// The unit node with one of the keywords, on the system (WKT1) or on its first axis that has
// one (WKT2); and its conversion factor, NaN without one.
const WktNode* UnitOf(const WktNode& crs, std::initializer_list<std::string_view> keywords);
double FactorOf(const WktNode* unit);

}  // namespace plexor
