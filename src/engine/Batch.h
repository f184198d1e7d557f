// The batch list: rows, the batch file, the combine test, the batch run and the combining
// of its outputs.
#pragma once

#include <string>
#include <vector>

#include "engine/ConvertHost.h"

namespace plexor {

struct TBatchRow {
  std::string IndexText;    // the coordinate-system index as written, e.g. "5" or "05"
  std::string DisplayText;  // derived from the index
  std::string SourcePath;
  std::string TargetPath;
  int Mark = -1;  // -1 none, 0 converted, 1 failed
  std::string Reason;  // why the last run failed this row (UTF-8), else empty
};

inline constexpr const char* kNoBatchListText = "対象のバッチリストがありません。";
inline constexpr const char* kInvalidBatchListText = "不正なバッチリストです。";
inline constexpr const char* kInvalidCombineNameText = "統合後のファイル名が不正です。";
inline constexpr const char* kBatchFinishedText = "変換が終了しました。";

// A row for the index: index text in decimal, display text from the catalogue.
TBatchRow MakeBatchRow(int index, const std::string& source, const std::string& target);
// The integer value of an index text; EConvertError "'%s' は整数ではありません".
int BatchRowIndex(const TBatchRow& row);

// --- Batch file ---------------------------------------------------------------------------
// The lines of a batch file: CR LF, LF or CR end a line, a NUL ends the text. EFOpenError
// when it cannot be opened.
std::vector<std::string> ReadBatchLines(const std::string& path);
// False when the lines are no batch list (fewer than four, or a wrong marker or version):
// the caller shows kInvalidBatchListText, and `why` (when given) says which line is wrong.
// Otherwise sets `combine` and `combineName` and appends the rows; a bad combine flag raises
// before anything is set, a bad row line raises after the rows before it were appended.
// Every error names its line. A UTF-8 byte order mark and blank lines at the end are no
// part of the list; relative paths are taken from `baseDir` (the batch file's folder with
// its separator) when it is given.
bool ParseBatchLines(std::vector<std::string> lines, bool& combine, std::string& combineName,
                     std::vector<TBatchRow>& rows, const std::string& baseDir = {},
                     std::string* why = nullptr);
// False when a path holds a double quote, CR or LF: such a row could not be read back.
bool BatchRowsCanBeSaved(const std::vector<TBatchRow>& rows);
// The whole file text, every line ended by CR LF.
std::string BuildBatchFileText(bool combine, const std::string& combineName,
                               const std::vector<TBatchRow>& rows);
// Writes the file whole; EFCreateError / EInOutError on failure.
void WriteBatchFile(const std::string& path, bool combine, const std::string& combineName,
                    const std::vector<TBatchRow>& rows);

// --- Combining ----------------------------------------------------------------------------
// At least two rows, one coordinate system, and tables with the same column names and types.
bool CanCombineBatch(const std::vector<TBatchRow>& rows);
// Why the rows cannot be combined (UTF-8), or empty when they can.
std::string WhyBatchCannotCombine(const std::vector<TBatchRow>& rows);

// Joins the outputs of the rows marked 0, in list order: the first one whole, of the others
// what follows their "Data" line; the MID files one after the other.
void CombineBatchOutputs(const std::vector<TBatchRow>& rows, const std::string& combinedMif,
                         IConvertHost& host);

struct TBatchRunOptions {
  bool Combine = false;  // the check box is enabled and ticked
  std::string CombineName;
  int Jobs = 1;  // rows converted at once; combining always follows list order
};

// Validates (warnings through the host, result false), then converts every row, sets its
// mark, combines when asked, and always ends with "変換が終了しました。". An error that ends
// the run leaves as an exception after that closing step.
bool RunBatch(std::vector<TBatchRow>& rows, const TBatchRunOptions& options, IConvertHost& host);

}  // namespace plexor
