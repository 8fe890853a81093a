#pragma once

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_error.h"

namespace dpc {

// A failure kept until somebody reads it: an English pattern (a literal the translation files
// collect), its values, and the system's error when a call failed. It is worded only where it is
// shown, in the language of that moment, which may change at every menu opening.
struct Failure {
  const char* pattern = nullptr;  // nullptr: the system's error alone
  std::vector<std::string> values;
  std::optional<OsError> error;

  // What a handler caught: a SystemError's error, a TextError's pattern and values, any other
  // failure's own text.
  static Failure Of(const std::exception& caught);
  // The same for whatever is being handled in a catch block.
  static Failure OfCurrent();
};

}  // namespace dpc
