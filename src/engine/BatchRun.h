// The batch run: every row converted, in list order or several at once, then the outputs
// combined when asked.
#pragma once

#include <string>
#include <vector>

#include "engine/BatchRow.h"
#include "engine/ConvertHost.h"

namespace plexor {

inline constexpr const char* kNoBatchListText = "対象のバッチリストがありません。";
inline constexpr const char* kInvalidCombineNameText = "統合後のファイル名が不正です。";
inline constexpr const char* kBatchFinishedText = "変換が終了しました。";

struct TBatchRunOptions {
  bool Combine = false;  // the check box is enabled and ticked
  std::string CombineName;
  int Jobs = 1;  // rows converted at once; combining always follows list order
};

// Validates (warnings through the host, result false), then converts every row, sets its
// mark, combines when asked, and always ends with kBatchFinishedText. An error that ends the
// run leaves as an exception after that closing step.
bool RunBatch(std::vector<TBatchRow>& rows, const TBatchRunOptions& options, IConvertHost& host);

// False when combining is asked for under an empty name or one the rows' files would clash
// with; RunBatch refuses then with kInvalidCombineNameText, and the window says so before
// starting a run at all.
bool CombineNameIsValid(const std::vector<TBatchRow>& rows, const TBatchRunOptions& options);

}  // namespace plexor
