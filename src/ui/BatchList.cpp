#include "ui/BatchList.h"

#include "support/ByteStrings.h"

namespace plexor {

void TBatchList::Append(TBatchRow row) {
  rows_.push_back(std::move(row));
  view_.SetBatchRowCount(static_cast<int>(rows_.size()));
  Show(rows_.size() - 1);
}

void TBatchList::Replace(size_t index, TBatchRow row) {
  if (index >= rows_.size()) return;
  rows_[index] = std::move(row);
  Show(index);
}

void TBatchList::Remove(size_t index) {
  if (index >= rows_.size()) return;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  view_.SetBatchRowCount(static_cast<int>(rows_.size()));
  for (size_t i = index; i < rows_.size(); ++i) Show(i);
}

void TBatchList::Clear() {
  rows_.clear();
  view_.SetBatchRowCount(0);
}

void TBatchList::SetMark(size_t index, TBatchMark mark, const std::string& reason) {
  if (index >= rows_.size()) return;
  rows_[index].Mark = mark;
  rows_[index].Reason = mark == TBatchMark::Failed ? reason : std::string();
  Show(index);
}

void TBatchList::TakeOutcome(const std::vector<TBatchRow>& rows) {
  for (size_t i = 0; i < rows.size() && i < rows_.size(); ++i) {
    rows_[i].Mark = rows[i].Mark;
    rows_[i].Reason = rows[i].Mark == TBatchMark::Failed ? rows[i].Reason : std::string();
    Show(i);
  }
}

void TBatchList::Show(size_t index) {
  view_.ShowBatchRow(static_cast<int>(index), BatchRowViewOf(rows_[index]));
}

TBatchRowView BatchRowViewOf(const TBatchRow& row) {
  TBatchRowView view;
  view.Cells = {NativeToUtf8(row.IndexText), row.DisplayText, NativeToUtf8(row.SourcePath),
                NativeToUtf8(row.TargetPath)};
  view.Mark = row.Mark;
  for (size_t c = 0; c < view.Cells.size(); ++c) {
    view.Tips[c] = view.Cells[c];
    if (row.Mark == TBatchMark::Failed && !row.Reason.empty()) view.Tips[c] += "\n" + row.Reason;
  }
  return view;
}

}  // namespace plexor
