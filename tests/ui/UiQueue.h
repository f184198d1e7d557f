// The window's thread for the presenter's tests: the test thread runs what a run posts.
// In lockstep (the default) a run's thread waits after each report until the test asks for
// the next one, so a test that stops at a report acts before the run goes on, exactly as a
// user between two reports, and nothing races ahead.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "ui/BackgroundRun.h"

namespace plexor::test {

class UiQueue {
 public:
  TPostToUi Post() {
    return [this](TUiTask task) { Push(std::move(task)); };
  }

  // Runs posted tasks until `done()` holds; false (and a failure) when a minute passes
  // without a task, which means the run is stuck.
  template <typename Done>
  bool RunUntil(Done done) {
    while (!done()) {
      if (!RunOne()) {
        ADD_FAILURE() << "no task arrived from the run";
        return false;
      }
    }
    return true;
  }

  // Lets the run go on past the task run last: after its final task, so that its thread
  // can end.
  void Settle() {
    std::lock_guard lock(mutex_);
    ran_ = taken_;
    changed_.notify_all();
  }

  // A run's thread no longer waits for its tasks: for a test that makes this thread wait
  // for the run's.
  void Release() {
    std::lock_guard lock(mutex_);
    lockstep_ = false;
    changed_.notify_all();
  }

 private:
  void Push(TUiTask task) {
    std::unique_lock lock(mutex_);
    const uint64_t ticket = ++posted_;
    tasks_.push_back(std::move(task));
    changed_.notify_all();
    changed_.wait(lock, [&] { return !lockstep_ || ran_ >= ticket; });
  }

  bool RunOne() {
    TUiTask task;
    {
      std::unique_lock lock(mutex_);
      // The run may go on from the task run last time.
      ran_ = taken_;
      changed_.notify_all();
      if (!changed_.wait_for(lock, std::chrono::minutes(1), [&] { return !tasks_.empty(); })) {
        return false;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
      ++taken_;
    }
    task();
    return true;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TUiTask> tasks_;
  uint64_t posted_ = 0;
  uint64_t taken_ = 0;
  uint64_t ran_ = 0;
  bool lockstep_ = true;
};

}  // namespace plexor::test
