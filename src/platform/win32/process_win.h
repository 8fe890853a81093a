#pragma once

#include "platform/process.h"

namespace dpc::win32 {

class ProcessInfoWin final : public ProcessInfo {
 public:
  OsResult<uint32_t> OsMajorVersion() override;
  OsResult<uint32_t> QueryIntegrityRid() override;
  OsResult<std::string> ExecutablePath() override;
  OsResult<std::vector<std::string>> Arguments() override;
  OsResult<std::string> SystemErrorText(uint32_t code) override;
};

}  // namespace dpc::win32
