#pragma once

#include <cstdint>

namespace dpc {

// A window handle as the logic sees it: an opaque number that the Windows layer converts.
using WindowId = uintptr_t;
inline constexpr WindowId kNoWindow = 0;

}  // namespace dpc
