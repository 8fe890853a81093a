#pragma once

#include <bit>
#include <type_traits>

namespace dpc::win32 {

// Converts between function pointers and plain addresses without the cast warnings that
// GetProcAddress's FARPROC draws. Both sides are one machine word on Windows.
template <typename To, typename From>
To FunctionCast(From from) noexcept {
  static_assert(sizeof(To) == sizeof(From), "function and data pointers differ in size");
  static_assert(std::is_pointer_v<To> && std::is_pointer_v<From>);
  return std::bit_cast<To>(from);
}

}  // namespace dpc::win32
