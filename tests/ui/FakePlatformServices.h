// Platform services for the window's tests: records every box and request, answers the file
// dialogs from a script, and never blocks.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/PlatformServices.h"

namespace plexor::test {

class FakePlatformServices : public IPlatformServices {
 public:
  struct Message {
    MessageKind Kind;
    std::string Text;
    bool operator==(const Message&) const = default;
  };
  struct DialogRun {
    std::string Name;
    std::string OfferedFileName;
  };
  struct HelpRequest {
    std::string File;
    uint32_t Command;
    uintptr_t Data;
  };

  std::vector<Message> Messages;
  std::vector<std::string> Errors;  // texts of the application's error box
  std::vector<DialogRun> Dialogs;
  // One answer per dialog run: a path confirms, nullopt cancels. An empty queue cancels.
  std::deque<std::optional<std::string>> DialogAnswers;
  std::vector<HelpRequest> HelpRequests;
  std::vector<std::string> Opened;
  bool ShellOpens = true;  // false: the desktop has nothing to open a target with
  std::vector<std::string> Questions;
  std::deque<bool> Answers;  // one per question; an empty queue answers "いいえ"
  std::string Exe = "/nonexistent/plexor-converter";
  bool WaitCursor = false;
  int WaitCursorOnCount = 0;
  bool WaitCursorWhenLastMessage = false;
  // Runs where the window would let pending events through, to act as the user mid-run.
  std::function<void()> OnPendingEvents;
  // Runs once while the next box is open, as events reach the window during a modal box.
  std::function<void()> OnMessage;
  int BoxDepth = 0;
  int MaxBoxDepth = 0;
  // Runs while a question is open, as events reach the window during a modal box.
  std::function<void()> OnQuestion;
  int PendingEventCalls = 0;

  void ShowMessage(MessageKind kind, const std::string& text) override {
    WaitCursorWhenLastMessage = WaitCursor;
    Messages.push_back({kind, text});
    ++BoxDepth;
    MaxBoxDepth = std::max(MaxBoxDepth, BoxDepth);
    // Runs once, while this box is "open".
    if (std::function<void()> act = std::exchange(OnMessage, nullptr)) act();
    --BoxDepth;
  }
  void ShowApplicationError(const std::string& text) override {
    WaitCursorWhenLastMessage = WaitCursor;
    Errors.push_back(text);
  }
  bool Confirm(const std::string& text) override {
    Questions.push_back(text);
    if (OnQuestion) OnQuestion();
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  bool ExecuteFileDialog(TFileDialog& dialog) override {
    Dialogs.push_back({dialog.Name, dialog.FileName});
    if (DialogAnswers.empty()) return false;
    const std::optional<std::string> answer = DialogAnswers.front();
    DialogAnswers.pop_front();
    if (!answer) return false;
    dialog.FileName = *answer;
    return true;
  }
  void SetWaitCursor(bool on) override {
    if (on) ++WaitCursorOnCount;
    WaitCursor = on;
  }
  void ProcessPendingEvents() override {
    ++PendingEventCalls;
    if (OnPendingEvents) OnPendingEvents();
  }
  void ShowHelp(const std::string& file, uint32_t command, uintptr_t data) override {
    HelpRequests.push_back({file, command, data});
  }
  bool ShellOpen(const std::string& target) override {
    Opened.push_back(target);
    return ShellOpens;
  }
  std::string ExePath() const override { return Exe; }
  RegionalSettings Regional() const override { return {}; }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const Message& m : Messages) texts.push_back(m.Text);
    return texts;
  }
};

}  // namespace plexor::test
