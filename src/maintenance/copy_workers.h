#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/folders.h"

namespace dpc {

// How one file is copied.
enum class CopyMethod {
  System,               // the system's own copy: keeps whatever the file holds
  Direct,               // large reads and writes (CopyNewFileDirect)
  DirectUnlessStreams,  // the same, once the open file showed no alternate data streams
};

// A file whose attributes say it holds more than bytes (encrypted, compressed, sparse, a reparse
// point, offline or cloud data) keeps the system's copy. Where the volume can carry alternate data
// streams, or cannot say, each file is asked for them when it is opened.
CopyMethod ChooseCopyMethod(const FolderEntry& file, const OsResult<bool>& volumeStreams);

// Copies the file by its method, falling back to the system's copy when the open file turns out
// to hold more than the direct copy keeps. Never throws: a failure comes back as the error.
std::optional<OsError> CopyOneFile(FolderFileSystem& files, const std::string& from,
                                   const std::string& to, CopyMethod method,
                                   const CopyProgressCallback& progress);

// Files copied on worker threads, several at once. The threads touch only the file system: no
// window, no view, no report. The thread that owns the queue hands files in and takes the
// results out; the destructor waits for the files in hand.
class CopyWorkers {
 public:
  struct Job {
    std::string relative;
    std::string from;
    std::string to;
    CopyMethod method = CopyMethod::System;
  };
  struct Result {
    std::string relative;
    std::optional<OsError> error;
  };

  CopyWorkers(FolderFileSystem& files, int threads);
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

 private:
  void Work() noexcept;

  FolderFileSystem& files_;
  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable resultReady_;
  std::deque<Job> jobs_;
  std::vector<Result> results_;
  bool closing_ = false;
  size_t outstanding_ = 0;  // owner's thread only
  std::vector<std::thread> threads_;
};

}  // namespace dpc
