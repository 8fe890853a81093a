#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace dpc {

// A failed Windows call: its error code, the API's name and the system's message for the code.
struct OsError {
  uint32_t code = 0;
  std::string api;
  std::string text;
};

// "System Error.  Code: %d." + CR LF + the system's text; code 0 reads
// "A call to an OS function failed" as the text.
std::string FormatSystemError(uint32_t code, const std::string& systemText);

// An operating-system failure raised to a handler; what() is the operator's message.
class SystemError : public std::runtime_error {
 public:
  explicit SystemError(const OsError& error);
  uint32_t code() const { return code_; }
  const std::string& api() const { return api_; }
  // The system's own message for the code (in the system's language).
  const std::string& systemText() const { return systemText_; }

 private:
  uint32_t code_;
  std::string api_;
  std::string systemText_;
};

}  // namespace dpc
