#pragma once

#include <string>

namespace dpc {

// Where the controller writes its trace lines ("<key> = <value>"). Never throws.
class TraceLog {
 public:
  virtual ~TraceLog() = default;
  virtual void Write(const std::string& key, const std::string& value) = 0;
};

}  // namespace dpc
