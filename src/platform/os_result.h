#pragma once

#include <utility>
#include <variant>

#include "platform/os_error.h"

namespace dpc {

// A value, or the Windows error that kept a call from producing one.
template <typename T>
class OsResult {
 public:
  OsResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  OsResult(OsError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const { return std::get<0>(state_); }
  T& value() { return std::get<0>(state_); }
  const T& operator*() const { return value(); }
  const T* operator->() const { return &value(); }
  const OsError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, OsError> state_;
};

}  // namespace dpc
