#pragma once

#include <type_traits>

namespace dpc {

// An enum whose values are bits opts in with `template <> inline constexpr bool kFlagSet<E> =
// true;`, then combines its values with | and tests them with Has().
template <typename E>
inline constexpr bool kFlagSet = false;

template <typename E>
concept FlagSet = std::is_enum_v<E> && kFlagSet<E>;

template <FlagSet E>
constexpr E operator|(E a, E b) {
  using Bits = std::underlying_type_t<E>;
  return static_cast<E>(static_cast<Bits>(a) | static_cast<Bits>(b));
}

template <FlagSet E>
constexpr bool Has(E set, E flag) {
  using Bits = std::underlying_type_t<E>;
  return (static_cast<Bits>(set) & static_cast<Bits>(flag)) != 0;
}

}  // namespace dpc
