// A host that records what the core reports, for tests of the core and the engine.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/ConvertHost.h"

namespace plexor::test {

class FakeHost : public IConvertHost {
 public:
  struct Message {
    MessageKind Kind;
    std::string Text;
  };
  std::vector<Message> Messages;
  std::vector<std::string> StatusTexts;
  std::vector<std::pair<int, int>> Marks;  // (row, mark)
  std::vector<int> SelectedRows;
  RegionalSettings Settings;
  // The conversion is told to stop once it has asked this many times (never when negative).
  int64_t CancelAfterPolls = -1;
  std::vector<TConvertSummary> Finished;

  void ShowMessage(MessageKind kind, const std::string& text) override {
    Messages.push_back({kind, text});
  }
  void SetStatusText(const std::string& text) override { StatusTexts.push_back(text); }
  RegionalSettings Regional() const override { return Settings; }
  void SelectBatchRow(int index) override { SelectedRows.push_back(index); }
  void BatchRowMarked(int index, TBatchMark mark, const std::string& /*reason*/) override {
    Marks.emplace_back(index, static_cast<int>(mark));
  }
  bool CancelRequested() const override {
    return CancelAfterPolls >= 0 && polls_++ >= CancelAfterPolls;
  }
  void ConversionFinished(const std::string&, bool, const TConvertSummary& summary) override {
    Finished.push_back(summary);
  }

 private:
  mutable int64_t polls_ = 0;
};

}  // namespace plexor::test
