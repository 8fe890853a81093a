#include "frontpanel/utf16.h"

#include <cstdint>

namespace dpc {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The range allowed for the second byte depends on the lead byte: this is what rules out
// overlong forms (E0, F0), encoded surrogates (ED) and values past U+10FFFF (F4).
bool SecondByteFits(uint8_t lead, uint8_t second) {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0 && second <= 0xBF;
    case 0xED:
      return second >= 0x80 && second <= 0x9F;
    case 0xF0:
      return second >= 0x90 && second <= 0xBF;
    case 0xF4:
      return second >= 0x80 && second <= 0x8F;
    default:
      return IsContinuation(second);
  }
}

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
    return;
  }
  cp -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    size_t length = 0;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
    } else {
      // C0, C1, F5..FF and stray continuation bytes start nothing.
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    // Consume continuation bytes while they fit; stop at the first that does not, so the
    // offending byte is read again as the start of the next sequence.
    size_t taken = 1;
    while (taken < length && i + taken < text.size()) {
      const auto next = static_cast<uint8_t>(text[i + taken]);
      const bool fits = taken == 1 ? SecondByteFits(lead, next) : IsContinuation(next);
      if (!fits) break;
      cp = (cp << 6) | (next & 0x3F);
      ++taken;
    }
    if (taken == length) {
      AppendCodePoint(out, cp);
    } else {
      out.push_back(kReplacement);
    }
    i += taken;
  }
  return out;
}

std::u16string_view CutUtf16(std::u16string_view text, size_t maxUnits) {
  if (text.size() <= maxUnits) return text;
  size_t end = maxUnits;
  if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
  return text.substr(0, end);
}

}  // namespace dpc
