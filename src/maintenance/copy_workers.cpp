#include "maintenance/copy_workers.h"

#include <chrono>
#include <exception>
#include <new>
#include <utility>

namespace dpc {
namespace {

OsError Unexpected(const char* api, const char* what) { return OsError{1359, api, what}; }

}  // namespace

CopyWorkers::CopyWorkers(int threads) {
  for (int i = 0; i < threads; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // fewer threads still copy; none at all is the caller's to notice
    }
  }
}

CopyWorkers::~CopyWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  jobReady_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void CopyWorkers::Submit(Job job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  ++outstanding_;
  jobReady_.notify_one();
}

void CopyWorkers::DropWaiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  outstanding_ -= jobs_.size();
  jobs_.clear();
}

std::optional<OsError> CopyWorkers::Failure() {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

std::vector<CopyWorkers::Result> CopyWorkers::Collect(uint32_t waitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (results_.empty() && lost_ == 0 && waitMs > 0) {
    resultReady_.wait_for(lock, std::chrono::milliseconds(waitMs),
                          [this] { return !results_.empty() || lost_ > 0; });
  }
  std::vector<Result> done;
  done.swap(results_);
  outstanding_ -= done.size() + lost_;
  lost_ = 0;
  return done;
}

void CopyWorkers::Work() noexcept {
  // The 32-bit build cannot unwind out of a thread: nothing may leave this function. Whatever
  // ends the thread early ends it visibly: the file in hand is no longer awaited, and the owner
  // learns why.
  bool inHand = false;
  const auto ended = [&](OsError why) noexcept {
    try {
      std::lock_guard<std::mutex> lock(mutex_);
      if (inHand) ++lost_;
      if (!failure_) failure_ = std::move(why);
    } catch (...) {
    }
    resultReady_.notify_all();
  };
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      jobReady_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
      // Closing waits for the queue too: every file handed in gets its result.
      if (jobs_.empty()) return;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      inHand = true;
      lock.unlock();
      FileOutcome outcome = job.copy();
      Result result{std::move(job.relative), std::move(outcome)};
      job.copy = nullptr;
      job.keep.reset();
      lock.lock();
      results_.push_back(std::move(result));
      inHand = false;
      resultReady_.notify_one();
    }
  } catch (const std::bad_alloc&) {
    ended(Unexpected("CopyWorkers", "Not enough memory to go on copying."));
  } catch (const std::exception& error) {
    ended(Unexpected("CopyWorkers", error.what()));
  } catch (...) {
    ended(Unexpected("CopyWorkers", "A copying thread ended unexpectedly."));
  }
}

}  // namespace dpc
