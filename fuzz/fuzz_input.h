#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace dpc::fuzz {

// The fuzzer's bytes as NUL-separated parts; missing parts read as empty.
class Parts {
 public:
  Parts(const uint8_t* data, size_t size) {
    std::string part;
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == 0) {
        parts_.push_back(part);
        part.clear();
      } else {
        part += static_cast<char>(data[i]);
      }
    }
    parts_.push_back(part);
  }
  const std::string& operator[](size_t index) const {
    static const std::string empty;
    return index < parts_.size() ? parts_[index] : empty;
  }
  uint8_t Byte(size_t index) const {
    const std::string& part = (*this)[index];
    return part.empty() ? 0 : static_cast<uint8_t>(part[0]);
  }

 private:
  std::vector<std::string> parts_;
};

// A broken promise: stop with the reason, so the fuzzer saves the input.
inline void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace dpc::fuzz
