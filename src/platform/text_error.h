#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dpc {

// Fills "%s" and "%d" placeholders in order with the values, inserted as plain text; "%%" is one
// '%', and a placeholder without a value stays as it is.
std::string FillPattern(std::string_view pattern, std::initializer_list<std::string_view> values);
std::string FillPattern(std::string_view pattern, const std::vector<std::string>& values);

// A failure that the operator reads, raised where no translator is at hand (an adapter, a file
// reader): an English pattern and its values. what() is the filled English text, which is what
// the trace log keeps; the interface translates the pattern where it shows the failure. The
// pattern is a string literal, collected for the translation files like Translate's.
class TextError : public std::runtime_error {
 public:
  TextError(const char* pattern, std::vector<std::string> values);
  const char* pattern() const { return pattern_; }
  const std::vector<std::string>& values() const { return values_; }

 private:
  const char* pattern_;
  std::vector<std::string> values_;
};

}  // namespace dpc
