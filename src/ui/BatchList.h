// The rows of the batch list and their drawing. The presenter changes rows only through
// here, so the list on the screen never differs from the rows a run takes.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/Batch.h"
#include "ui/MainView.h"

namespace plexor {

class TBatchList {
 public:
  explicit TBatchList(IMainView& view) : view_(view) {}

  const std::vector<TBatchRow>& Rows() const { return rows_; }
  size_t Size() const { return rows_.size(); }
  bool Contains(int index) const { return index >= 0 && static_cast<size_t>(index) < Size(); }

  void Append(TBatchRow row);
  void Replace(size_t index, TBatchRow row);
  void Remove(size_t index);
  void Clear();
  // A mark set by the run while it goes; -1 also forgets why the row failed last time.
  void SetMark(size_t index, TBatchMark mark, const std::string& reason = {});
  // The marks and reasons of a run that has ended, for the rows it started with.
  void TakeOutcome(const std::vector<TBatchRow>& rows);

 private:
  void Show(size_t index);

  IMainView& view_;
  std::vector<TBatchRow> rows_;
};

// A row as it is drawn: texts in UTF-8, each cell's full text as its tip, and for a failed
// row the reason below it.
TBatchRowView BatchRowViewOf(const TBatchRow& row);

}  // namespace plexor
