// Hostile-input targets, shared by the libFuzzer harnesses of fuzz/ and by the normal tests
// that replay the regression corpus. Each target takes arbitrary bytes, drives one entry
// point of the core with them, and raises HostileFailure when the program misbehaves: an
// error outside the plexor::Exception hierarchy, an input file that changed, or a result the
// bytes contradict. A crash or an out-of-bounds access is left to the sanitizers.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plexor::hostile {

class HostileFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

struct Target {
  const char* Name;
  void (*Run)(std::string_view data);
};

// convert, table, batch, csv, profile, numbers.
const std::vector<Target>& Targets();
const Target* FindTarget(std::string_view name);

// A whole conversion of a .shp and .dbf pair held in one input: one options byte (the
// coordinate-system index and the regional settings), the .dbf bytes, kPairSeparator, the
// .shp bytes. Without the separator everything after the options byte is the .dbf and the
// .shp is empty.
inline constexpr std::string_view kPairSeparator = "#PLEXOR-SHP#";
std::string JoinPair(unsigned char options, std::string_view dbf, std::string_view shp);
void ConvertPair(std::string_view data);

// The input is one .dbf, opened read-only and walked forwards and backwards with ShowDeleted
// off and on, every field of every record read; then, when it allows it, opened writable and
// walked again, which must give the same rows.
void ReadTable(std::string_view data);

// The input is a batch file: ReadBatchLines, ParseBatchLines, and a save and load of what
// was parsed.
void LoadBatchFile(std::string_view data);

// One byte for the field number (signed), then the line; compared with the documented
// comma-text rules.
void CsvField(std::string_view data);

// The input is a profile file: the window keys read, one written, the file read again.
void ProfileFile(std::string_view data);

// Eight bytes of a double (little-endian), a decimal separator byte, then a date and a short
// date format; the texts are compared with their exact references.
void NumberTexts(std::string_view data);

// Seed inputs for a target, made with the fixture builders and from the bundled samples
// (the folder holding stations, roads and parcels; may be empty to leave them out).
std::vector<std::string> Seeds(std::string_view target, const std::string& samplesDir);

}  // namespace plexor::hostile
