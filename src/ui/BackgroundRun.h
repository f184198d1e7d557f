// A conversion or a batch run on a thread of its own, so that the window keeps painting,
// shows progress and takes a cancel. What the engine reports on that thread is handed to
// the window's thread through the view's post function and arrives there in order.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/ConvertHost.h"

namespace plexor {

using TUiTask = std::function<void()>;
// Runs a task on the window's thread later, in the order posted. Called from any thread.
using TPostToUi = std::function<void(TUiTask)>;

// What a run reports, always on the window's thread.
class IRunEvents {
 public:
  virtual ~IRunEvents() = default;
  virtual void RunStatusText(const std::string& text) = 0;
  virtual void RunMessage(MessageKind kind, const std::string& text) = 0;
  virtual void RunRowSelected(int index) = 0;
  virtual void RunRowMarked(int index, TBatchMark mark, const std::string& reason) = 0;
  virtual void RunConversionStarted() = 0;
  virtual void RunProgress(int permille) = 0;
};

class TBackgroundRun {
 public:
  TBackgroundRun(TPostToUi post, IRunEvents& events);
  // Stops a run that is still going and waits for it.
  ~TBackgroundRun();
  TBackgroundRun(const TBackgroundRun&) = delete;
  TBackgroundRun& operator=(const TBackgroundRun&) = delete;

  // Starts `work` on its thread with the host it reports to; `finished` then runs on the
  // window's thread with the text of the error that ended the work (empty when none).
  void Start(RegionalSettings regional, std::function<void(IConvertHost&)> work,
             std::function<void(const std::string& error)> finished);
  // Between Start and the call of `finished`.
  bool Running() const { return running_; }
  // The work stops at the next record boundary (a batch between rows) and leaves no file.
  void Cancel();
  bool CancelRequested() const;
  // Cancels, waits for the thread, and drops whatever the run still has to report:
  // `finished` is not called. For a window that is going away.
  void StopAndWait();

 private:
  class Host;
  struct Shared;

  void Join();

  TPostToUi post_;
  IRunEvents& events_;
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Host> host_;
  std::thread thread_;
  bool running_ = false;
};

// The text an error gives the user: a plexor::Exception's message, the standard library's
// text, or a fixed text for memory exhaustion and the unknown.
std::string ErrorText(const std::exception_ptr& error);

}  // namespace plexor
