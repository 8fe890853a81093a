#pragma once

#include <string>
#include <string_view>

namespace dpc::win32 {

// UTF-8 to UTF-16 for the W functions. Malformed UTF-8 becomes U+FFFD rather than failing, so a
// damaged name can never reach the system as a different, valid one.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
// A file name may hold a UTF-16 surrogate without its pair, which no UTF-8 text can name: its
// conversion would stand for another name.
bool HasLoneSurrogate(std::wstring_view wide);

// Text in the ANSI code page. exact is false when a character could not be represented and was
// replaced by the code page's default character.
struct AnsiText {
  std::string bytes;
  bool exact = true;
};
AnsiText Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
// The same in another code page (28591, 65001, ...); not exact either for one the system cannot
// write.
AnsiText Utf8ToCodePage(unsigned codePage, std::string_view utf8);
std::string CodePageToUtf8(unsigned codePage, std::string_view bytes);

// A pointer to a NUL-terminated wide string, or nullptr for an empty one, for parameters where
// the system treats "absent" differently from "".
inline const wchar_t* NullIfEmpty(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

}  // namespace dpc::win32
