#include "platform/file_system.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace dpc {
namespace {

constexpr size_t kChunk = 1u << 20;

}  // namespace

OsStatus FileHandle::CopyData(FileHandle& target, const std::vector<ByteRange>& ranges,
                              const CopyProgressCallback& progress) {
  const auto info = Info();
  if (!info) return info.error();
  std::vector<ByteRange> parts = ranges;
  if (parts.empty()) parts.push_back({0, info->size});
  std::vector<char> buffer(kChunk);
  uint64_t done = 0;
  for (const ByteRange& part : parts) {
    for (uint64_t at = part.offset; at < part.offset + part.length;) {
      const size_t want =
          static_cast<size_t>(std::min<uint64_t>(kChunk, part.offset + part.length - at));
      const auto got = Read(at, buffer.data(), want);
      if (!got) return got.error();
      if (*got == 0) break;  // the file became shorter: verification finds it
      if (const OsStatus written = target.Write(at, buffer.data(), *got); !written) return written;
      at += *got;
      done += *got;
      if (progress) progress(done, info->size);
    }
  }
  return target.SetSize(info->size);
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
