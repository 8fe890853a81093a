#pragma once

#include <cstdint>
#include <string>

#include "platform/os_error.h"

namespace dpc::win32 {

// The system's message for an error code, as FormatMessage gives it but without the trailing line
// break; empty when the system has no text for the code.
std::string SystemMessageText(uint32_t code);

OsError MakeOsError(uint32_t code, std::string api);
// GetLastError of the calling thread, read before anything else can overwrite it.
OsError LastOsError(std::string api);

[[noreturn]] void ThrowOsError(uint32_t code, std::string api);
[[noreturn]] void ThrowLastError(std::string api);

}  // namespace dpc::win32
