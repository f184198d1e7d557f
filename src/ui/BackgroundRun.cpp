#include "ui/BackgroundRun.h"

#include <new>

#include "support/Exceptions.h"

namespace plexor {

// What one run shares with the tasks it posts. `abandoned` is only touched on the window's
// thread: a task of a run that was stopped for good finds it set and does nothing.
struct TBackgroundRun::Shared {
  std::atomic<bool> cancel{false};
  bool abandoned = false;
  IRunEvents* events = nullptr;
};

// The engine's host on the run's thread: every report becomes a task for the window's.
class TBackgroundRun::Host : public IConvertHost {
 public:
  Host(TPostToUi post, std::shared_ptr<Shared> shared, RegionalSettings regional)
      : post_(std::move(post)), shared_(std::move(shared)), regional_(std::move(regional)) {}

  void ShowMessage(MessageKind kind, const std::string& text) override {
    Post([kind, text](IRunEvents& e) { e.RunMessage(kind, text); });
  }
  void SetStatusText(const std::string& text) override {
    Post([text](IRunEvents& e) { e.RunStatusText(text); });
  }
  RegionalSettings Regional() const override { return regional_; }
  // The window stays usable during a run: it shows progress, not an hourglass.
  void SetWaitCursor(bool /*on*/) override {}
  void SelectBatchRow(int index) override {
    Post([index](IRunEvents& e) { e.RunRowSelected(index); });
  }
  void BatchRowMarked(int index, TBatchMark mark, const std::string& reason) override {
    Post([index, mark, reason](IRunEvents& e) { e.RunRowMarked(index, mark, reason); });
  }
  bool CancelRequested() const override { return shared_->cancel.load(); }
  void ConversionStarted(const std::string& /*source*/) override {
    lastPermille_ = 0;
    Post([](IRunEvents& e) { e.RunConversionStarted(); });
  }
  void ConversionProgress(int64_t done, int64_t total) override {
    const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
    // The bar moves by tenths of a percent at most; anything finer would only flood the
    // window's queue.
    if (permille == lastPermille_) return;
    lastPermille_ = permille;
    Post([permille](IRunEvents& e) { e.RunProgress(permille); });
  }

 private:
  template <typename Report>
  void Post(Report report) {
    std::shared_ptr<Shared> shared = shared_;
    post_([shared, report] {
      if (!shared->abandoned) report(*shared->events);
    });
  }

  TPostToUi post_;
  std::shared_ptr<Shared> shared_;
  RegionalSettings regional_;
  int lastPermille_ = 0;
};

TBackgroundRun::TBackgroundRun(TPostToUi post, IRunEvents& events)
    : post_(std::move(post)), events_(events) {}

TBackgroundRun::~TBackgroundRun() {
  StopAndWait();
}

void TBackgroundRun::Start(RegionalSettings regional, std::function<void(IConvertHost&)> work,
                           std::function<void(const std::string& error)> finished) {
  // The thread of the run before has posted its last task already; it only has to end.
  Join();
  auto shared = std::make_shared<Shared>();
  shared->events = &events_;
  shared_ = shared;
  host_ = std::make_unique<Host>(post_, shared, std::move(regional));
  running_ = true;
  Host* host = host_.get();
  thread_ =
      std::thread([this, host, shared, work = std::move(work), finished = std::move(finished)] {
        std::string error;
        try {
          work(*host);
        } catch (...) {
          error = ErrorText(std::current_exception());
        }
        post_([this, shared, finished, error] {
          if (shared->abandoned) return;
          running_ = false;
          finished(error);
        });
      });
}

void TBackgroundRun::Cancel() {
  if (shared_) shared_->cancel = true;
}

bool TBackgroundRun::CancelRequested() const {
  return shared_ && shared_->cancel.load();
}

void TBackgroundRun::StopAndWait() {
  if (shared_) {
    shared_->cancel = true;
    shared_->abandoned = true;
  }
  Join();
  running_ = false;
}

void TBackgroundRun::Join() {
  if (thread_.joinable()) thread_.join();
}

std::string ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::bad_alloc&) {
    return "メモリが不足しています。";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "不明なエラーが発生しました。";
  }
}

}  // namespace plexor
