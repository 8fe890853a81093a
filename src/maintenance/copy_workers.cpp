#include "maintenance/copy_workers.h"

#include <chrono>
#include <exception>
#include <utility>

namespace dpc {
namespace {

OsError Unexpected(const char* what) { return OsError{1359, "CopyNewFile", what}; }

}  // namespace

std::optional<OsError> CopyOneFile(FileSystem& files, const std::string& from,
                                   const std::string& to, const CopyProgressCallback& progress) {
  try {
    return files.CopyNewFile(from, to, progress).failure();
  } catch (const std::exception& error) {
    return Unexpected(error.what());
  } catch (...) {
    return Unexpected("The copy failed unexpectedly.");
  }
}

CopyWorkers::CopyWorkers(FileSystem& files, int threads) : files_(files) {
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

std::vector<CopyWorkers::Result> CopyWorkers::Collect(uint32_t waitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (results_.empty() && waitMs > 0) {
    resultReady_.wait_for(lock, std::chrono::milliseconds(waitMs),
                          [this] { return !results_.empty(); });
  }
  std::vector<Result> done;
  done.swap(results_);
  outstanding_ -= done.size();
  return done;
}

void CopyWorkers::Work() noexcept {
  // The 32-bit build cannot unwind out of a thread: nothing may leave this function.
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      jobReady_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
      // Closing waits for the queue too: every file handed in gets its result.
      if (jobs_.empty()) return;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      Result result{std::move(job.relative),
                    CopyOneFile(files_, job.from, job.to, CopyProgressCallback())};
      job.keep.reset();
      lock.lock();
      results_.push_back(std::move(result));
      resultReady_.notify_one();
    }
  } catch (...) {
  }
}

}  // namespace dpc
