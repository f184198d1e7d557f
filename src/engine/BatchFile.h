// The batch file: the list saved as text and read back.
#pragma once

#include <string>
#include <vector>

#include "engine/BatchRow.h"

namespace plexor {

inline constexpr const char* kInvalidBatchListText = "不正なバッチリストです。";

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

}  // namespace plexor
