#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "maintenance/file_copy.h"

namespace dpc {

// Files copied on worker threads, several at once. The threads touch only the file system: no
// window, no view, no report. The thread that owns the queue hands files in and takes the
// results out; the destructor waits for the files in hand.
class CopyWorkers {
 public:
  struct Job {
    std::string relative;
    // The file's copy, on a worker thread. Running out of memory there, or anything else that
    // escapes it, ends the worker (see Failure).
    std::function<FileOutcome()> copy;
    // Kept until the copy ends: the old folder's pin (see TreeGuard).
    std::shared_ptr<const void> keep;
  };
  struct Result {
    std::string relative;
    FileOutcome outcome;
  };

  explicit CopyWorkers(int threads);
  ~CopyWorkers();
  CopyWorkers(const CopyWorkers&) = delete;
  CopyWorkers& operator=(const CopyWorkers&) = delete;

  void Submit(Job job);
  // The results finished so far, waiting up to `waitMs` for the first when there is none.
  std::vector<Result> Collect(uint32_t waitMs);
  // Takes back the files no thread has started; they are not copied and give no result.
  void DropWaiting();
  // Files handed in whose results were not collected yet.
  size_t Outstanding() const { return outstanding_; }
  size_t Threads() const { return threads_.size(); }
  // Why a worker ended before its time (something failed outside any one file's copy); the
  // files it had in hand are no longer outstanding, and no more should be handed in.
  std::optional<OsError> Failure();

 private:
  void Work() noexcept;

  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable resultReady_;
  std::deque<Job> jobs_;
  std::vector<Result> results_;
  bool closing_ = false;
  size_t lost_ = 0;  // files in hand of workers that ended, not yet taken off outstanding_
  std::optional<OsError> failure_;
  size_t outstanding_ = 0;  // owner's thread only
  std::vector<std::thread> threads_;
};

}  // namespace dpc
