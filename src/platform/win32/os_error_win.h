#pragma once

#include <cstdint>
#include <string>

#include "platform/os_error.h"
#include "platform/os_result.h"

namespace dpc::win32 {

// The system's message for an error code, as FormatMessage gives it but without the trailing line
// break; empty when the system has no text for the code, an error when FormatMessage failed
// otherwise.
OsResult<std::string> SystemMessage(uint32_t code);
// The same, empty also when FormatMessage failed: for an error's own text, which has no better
// place to report that.
std::string SystemMessageText(uint32_t code);

OsError MakeOsError(uint32_t code, std::string api);
// GetLastError of the calling thread, read before anything else can overwrite it.
OsError LastOsError(std::string api);

[[noreturn]] void ThrowOsError(uint32_t code, std::string api);
[[noreturn]] void ThrowLastError(std::string api);

}  // namespace dpc::win32
