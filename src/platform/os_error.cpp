#include "platform/os_error.h"

namespace dpc {

std::string FormatSystemError(uint32_t code, const std::string& systemText) {
  const std::string text = code == 0 ? "A call to an OS function failed" : systemText;
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + text;
}

SystemError::SystemError(const OsError& error)
    : std::runtime_error(FormatSystemError(error.code, error.text)),
      code_(error.code),
      api_(error.api),
      systemText_(error.text) {}

}  // namespace dpc
