#pragma once

#include <string>
#include <string_view>

namespace dpc {

// UTF-8 to UTF-16 without the platform: each ill-formed sequence (overlong form, encoded
// surrogate, value above U+10FFFF, truncated or stray byte) becomes one U+FFFD per maximal
// invalid subpart, so text from files of unknown quality still reaches the display.
std::u16string Utf8ToUtf16(std::string_view text);

// The longest prefix of at most maxUnits units that does not end inside a surrogate pair.
std::u16string_view CutUtf16(std::u16string_view text, size_t maxUnits);

}  // namespace dpc
