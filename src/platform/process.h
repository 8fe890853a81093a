#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_result.h"

namespace dpc {

// Facts about the running process and the operating system it runs on.
class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;
  // Major version as GetVersionEx reports it to this executable (6 on Vista to 8.1, and on 10 and
  // 11 for an executable whose manifest does not claim them).
  virtual OsResult<uint32_t> OsMajorVersion() = 0;
  // Last sub-authority of the token's mandatory integrity label (0x2000 medium, 0x3000 high); an
  // error when the token or its label cannot be read.
  virtual OsResult<uint32_t> QueryIntegrityRid() = 0;
  // Full path of the running executable, UTF-8.
  virtual OsResult<std::string> ExecutablePath() = 0;
  // Command arguments after the program name, UTF-8; an error when the system cannot split the
  // command line.
  virtual OsResult<std::vector<std::string>> Arguments() = 0;
  // The system's message for an error code (FormatMessage), in the system's language, UTF-8,
  // without the trailing line break; empty when the system has none, an error when FormatMessage
  // failed otherwise.
  virtual OsResult<std::string> SystemErrorText(uint32_t code) = 0;
};

}  // namespace dpc
