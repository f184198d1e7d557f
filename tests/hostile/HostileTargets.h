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

// convert, table, batch, csv, profile, numbers, prj, encoding, batchrun, placement, info, zip.
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
// was parsed. A control byte other than TAB, CR and LF must refuse the file, naming its line.
void LoadBatchFile(std::string_view data);

// One byte for the field number (signed), then the line; compared with the documented
// comma-text rules.
void CsvField(std::string_view data);

// The input is a profile file: the window keys read, one written, the file read again.
void ProfileFile(std::string_view data);

// Eight bytes of a double (little-endian), a decimal separator byte, then a date and a short
// date format; the texts are compared with their exact references.
void NumberTexts(std::string_view data);

// Several files in one input: one options byte, then the files' bytes separated by
// kPartSeparator. A file beyond the last separator is absent.
inline constexpr std::string_view kPartSeparator = "#PLEXOR-PART#";
std::string JoinParts(unsigned char options, const std::vector<std::string>& parts);

// The input is a .prj: the text matched against the catalogue, read again from a file beside
// a .shp, and its tree written back as WKT, which must parse to the same tree and match alike.
void PrjText(std::string_view data);

// The table-encoding decision. Options: bit 0 an --encoding option is given (part 0), bit 1
// a .cpg exists (part 1), bit 2 it is spelled .CPG; part 2 is the .dbf.
void TableEncodingDecision(std::string_view data);

// The input is a batch file, loaded and validated and, when its rows stay inside a folder of
// small shapefiles, run there once in order and once on two threads: the inputs must not
// change, each row is marked and leaves its pair or nothing, both runs leave the same files.
void RunBatchFile(std::string_view data);

// The input is the window's placement file: restored into a view, saved from one, read back.
void PlacementFile(std::string_view data);

// What `plexor info` describes, as text and as JSON, which must be strict UTF-8 JSON that
// agrees with the description. Options: bit 0 the .dbf exists (part 1), bit 1 the .prj
// (part 2), bit 2 the .cpg (part 3), bit 3 the companions are spelled in capitals, bits 4-5
// the --encoding option (none, utf-8, cp932, an unknown name); part 0 is the .shp.
void InfoJson(std::string_view data);

// The input is a zip archive (ArchiveTarget.cpp): every member read as a conversion reads it,
// which must hand out the declared size and CRC or refuse; names UTF-8, none climbing out
// unrefused; its shapefiles described as `plexor info` does.
void ZipArchiveInput(std::string_view data);
std::vector<std::string> ZipArchiveSeeds();

// Seed inputs for a target, made with the fixture builders and from the bundled samples
// (the folder holding stations, roads and parcels; may be empty to leave them out).
std::vector<std::string> Seeds(std::string_view target, const std::string& samplesDir);

}  // namespace plexor::hostile
