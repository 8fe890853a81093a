#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "platform/os_error.h"

namespace dpc {

// A value, or the error that kept a call from producing one.
template <typename T, typename Error>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const { return std::get<0>(state_); }
  T& value() { return std::get<0>(state_); }
  const T& operator*() const { return value(); }
  T& operator*() { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// A value, or the Windows error that kept a call from producing one.
template <typename T>
using OsResult = Result<T, OsError>;

// Success, or the Windows error of a call that produces no value. Read like OsResult: true means
// the call succeeded.
class [[nodiscard]] OsStatus {
 public:
  OsStatus() = default;
  OsStatus(OsError error) : error_(std::move(error)) {}
  static OsStatus Success() { return {}; }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const OsError& error() const { return *error_; }
  // The error, or nothing on success: for records that keep a step's outcome.
  const std::optional<OsError>& failure() const { return error_; }

 private:
  std::optional<OsError> error_;
};

// The value, or the error raised as a SystemError: for callers whose handler reports failures.
template <typename T>
T ValueOrRaise(OsResult<T> result) {
  if (!result) throw SystemError(result.error());
  return std::move(*result);
}

// The same for a call without a value.
inline void RaiseIfFailed(const OsStatus& status) {
  if (!status) throw SystemError(status.error());
}

}  // namespace dpc
