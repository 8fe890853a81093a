#pragma once

#include <string>
#include <string_view>

namespace dpc {

// Letter case of A-Z and a-z only. Other bytes, UTF-8 sequences among them, stay as they are:
// their case depends on the code page, and Windows compares the names these serve (services,
// devices, XML of the controller's own files) the same way.

constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
// The first place at or after `from` where `pattern` stands in `text`; npos when none or when
// `pattern` is empty.
size_t FindIgnoringAsciiCase(std::string_view text, std::string_view pattern, size_t from = 0);

}  // namespace dpc
