#pragma once

#include <string>

#include "platform/os_result.h"

namespace dpc {

// INI files through the private-profile functions: section and key names match without regard to
// case, values come back with surrounding blanks removed.
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;
  virtual std::string ReadString(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& fallback) = 0;
  virtual OsStatus WriteString(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& value) = 0;
};

}  // namespace dpc
