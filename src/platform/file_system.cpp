#include "platform/file_system.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace dpc {
namespace {

constexpr size_t kChunk = 1u << 20;

// One buffer for each copying thread, made once: a fresh megabyte for each file of a tree of small
// files costs more than their copies (measured: 6.3 s against 4.3 s for 10 000 files under Wine).
char* ThreadBuffer() {
  thread_local const std::unique_ptr<char[]> buffer(new char[kChunk]);
  return buffer.get();
}

}  // namespace

OsStatus FileHandle::CopyData(FileHandle& target, const std::vector<ByteRange>& ranges,
                              uint64_t size, const CopyProgressCallback& progress) {
  // Without ranges, to the end as the reads find it: no size query for each file.
  const bool whole = ranges.empty();
  const std::vector<ByteRange> parts =
      whole ? std::vector<ByteRange>{{0, std::numeric_limits<uint64_t>::max()}} : ranges;
  char* const buffer = ThreadBuffer();
  uint64_t done = 0;
  for (const ByteRange& part : parts) {
    const uint64_t end = part.length > std::numeric_limits<uint64_t>::max() - part.offset
                             ? std::numeric_limits<uint64_t>::max()
                             : part.offset + part.length;
    for (uint64_t at = part.offset; at < end;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, end - at));
      const auto got = Read(at, buffer, want);
      if (!got) return got.error();
      if (*got == 0) break;  // the end; a file that became shorter, the verification finds
      if (const OsStatus written = target.Write(at, buffer, *got); !written) return written;
      at += *got;
      done += *got;
      if (progress) progress(done, whole ? done : size);
    }
  }
  return whole ? OsStatus::Success() : target.SetSize(size);
}

OsResult<bool> FileHandle::SameData(FileHandle& other) {
  std::vector<char> one(kChunk), two(kChunk);
  for (uint64_t at = 0;;) {
    const auto gotOne = Read(at, one.data(), kChunk);
    if (!gotOne) return gotOne.error();
    const auto gotTwo = other.Read(at, two.data(), kChunk);
    if (!gotTwo) return gotTwo.error();
    if (*gotOne != *gotTwo || std::memcmp(one.data(), two.data(), *gotOne) != 0) return false;
    if (*gotOne == 0) return true;
    at += *gotOne;
  }
}

}  // namespace dpc
