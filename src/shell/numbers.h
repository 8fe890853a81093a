#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace dpc {

// A decimal whole number with an optional sign and nothing else around it; nullopt for empty
// text, other characters or a value outside 32 bits.
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// A real number written with '.' or ',' as its decimal separator (settings files travel between
// machines with different regional settings); nullopt for empty or unconvertible text.
std::optional<double> ParseRealNumber(std::string_view text);

}  // namespace dpc
