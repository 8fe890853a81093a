#pragma once

#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "service/supervision.h"

namespace dpc {

// The trace log beside the executable: "<key> = <value>" lines ending in CR LF, ANSI text.
// Deleted at every start; write failures are dropped silently.
class ControlLog final : public TraceLog {
 public:
  // Past this size the log is renamed to "<name>.log.1" and a new one begun.
  static constexpr uint64_t kRotateBytes = 16ull * 1024 * 1024;
  // The file's size is asked again after this many bytes of our own, so that another writer (a
  // second controller) or a hand-deleted file cannot keep the estimate wrong for long.
  static constexpr uint64_t kRecheckBytes = 64 * 1024;

  // logPath is the executable's path with the extension ".log".
  ControlLog(FileSystem& files, std::string logPath);

  // Deletes the log and its rotated predecessor.
  void Reset();
  // Appends one line; never throws.
  void Write(const std::string& key, const std::string& value) override;

  const std::string& path() const { return path_; }
  std::string rotatedPath() const { return path_ + ".1"; }

 private:
  void RotateIfFull();

  FileSystem& files_;
  std::string path_;
  bool sizeKnown_ = false;
  uint64_t sizeAtCheck_ = 0;
  uint64_t writtenSinceCheck_ = 0;
};

}  // namespace dpc
