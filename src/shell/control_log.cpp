#include "shell/control_log.h"

#include <utility>

namespace dpc {

ControlLog::ControlLog(FileSystem& files, std::string logPath)
    : files_(files), path_(std::move(logPath)) {}

void ControlLog::Reset() {
  try {
    // A log that is not there is already reset.
    (void)files_.RemoveFile(path_);
    (void)files_.RemoveFile(rotatedPath());
  } catch (...) {
    // The log is a trace aid; it must never stop the controller from starting.
  }
  sizeKnown_ = false;
}

void ControlLog::Write(const std::string& key, const std::string& value) {
  try {
    RotateIfFull();
    const std::string line = key + " = " + value + "\r\n";
    if (files_.AppendAnsiText(path_, line)) writtenSinceCheck_ += line.size();
  } catch (...) {
    sizeKnown_ = false;
  }
}

void ControlLog::RotateIfFull() {
  const bool mayBeFull = sizeAtCheck_ + writtenSinceCheck_ >= kRotateBytes;
  if (sizeKnown_ && !mayBeFull && writtenSinceCheck_ < kRecheckBytes) return;

  const OsResult<uint64_t> size = files_.FileSize(path_);
  sizeAtCheck_ = size ? *size : 0;
  writtenSinceCheck_ = 0;
  sizeKnown_ = true;
  if (sizeAtCheck_ < kRotateBytes) return;
  // A log that cannot be moved (held open elsewhere) keeps growing rather than losing lines; the
  // zero size makes the next attempt wait for kRecheckBytes instead of costing every write.
  (void)files_.ReplaceFileWith(path_, rotatedPath());
  sizeAtCheck_ = 0;
}

}  // namespace dpc
