#pragma once

#include <cstdint>
#include <type_traits>

namespace dpc {

#if defined(__i386__)
// Calls the function at `address` with `count` 32-bit argument words, first argument first, with
// the stack pointer saved in a callee-saved register and restored after the call. A __stdcall
// callee pops its arguments and a __cdecl one leaves them; either way the stack is as it was.
uint32_t CallPreservingStack(void* address, const uint32_t* words, uint32_t count);

template <typename T>
uint32_t ToStackWord(T value) {
  static_assert(sizeof(T) <= 4 && (std::is_integral_v<T> || std::is_pointer_v<T>),
                "each argument fills one 32-bit stack slot");
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<uint32_t>(value);  // promoted as both conventions promote it
  }
}
#endif

// Calls a display-library export whose calling convention is not known. On 32-bit x86 a __stdcall
// and a __cdecl export differ in who removes the arguments, and guessing wrong corrupts the stack;
// this call works with both. Arguments are integers or pointers of at most 32 bits; the result is
// a 32-bit integer. Elsewhere there is only one convention and this is a plain typed call.
template <typename... Args>
int32_t CallExport(void* address, Args... args) {
#if defined(__i386__)
  const uint32_t words[sizeof...(Args) + 1] = {ToStackWord(args)..., 0};
  return static_cast<int32_t>(CallPreservingStack(address, words, sizeof...(Args)));
#else
  return reinterpret_cast<int32_t (*)(Args...)>(address)(args...);
#endif
}

}  // namespace dpc
