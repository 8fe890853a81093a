#pragma once

#include "platform/process.h"

namespace dpc::win32 {

class ProcessInfoWin final : public ProcessInfo {
 public:
  // 0 when the version cannot be read.
  uint32_t OsMajorVersion() override;
  OsResult<uint32_t> QueryIntegrityRid() override;
  // Throws SystemError when the system cannot name the executable.
  std::string ExecutablePath() override;
  std::vector<std::string> Arguments() override;
  std::string SystemErrorText(uint32_t code) override;
};

}  // namespace dpc::win32
