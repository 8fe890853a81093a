#include "shell/numbers.h"

#include <charconv>
#include <cmath>
#include <string>

namespace dpc {

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  // from_chars takes a minus but no plus; one sign of either kind is a number, two are not.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty() || text.front() == '+') return std::nullopt;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseRealNumber(std::string_view text) {
  std::string normal(text);
  if (normal.find('.') != std::string::npos && normal.find(',') != std::string::npos) {
    return std::nullopt;  // a thousands separator would change the value's meaning
  }
  for (auto& c : normal)
    if (c == ',') c = '.';
  std::string_view digits = normal;
  if (!digits.empty() && digits.front() == '+') {
    digits.remove_prefix(1);
    if (!digits.empty() && digits.front() == '-') return std::nullopt;
  }
  if (digits.empty() || digits.front() == '+') return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                            std::chars_format::general);
  if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace dpc
