#pragma once

#include "platform/profile_store.h"

namespace dpc::win32 {

// Paths must be absolute: a bare name would be looked up in the Windows folder.
class ProfileStoreWin final : public ProfileStore {
 public:
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& fallback) override;
  OsStatus WriteString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) override;
};

}  // namespace dpc::win32
