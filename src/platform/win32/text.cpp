#include "platform/win32/text.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace dpc::win32 {
namespace {

int CheckedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) throw std::length_error("text too long to convert");
  return static_cast<int>(size);
}

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int length = CheckedLength(text.size());
  const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
  return wide;
}

// best-fit mapping is off: it would turn characters outside the code page into look-alikes
// ("ł" into "l"), which is worse than an honest replacement for paths and log text.
std::string FromWide(UINT codePage, DWORD flags, std::wstring_view wide, BOOL* usedDefault) {
  if (wide.empty()) return {};
  const int length = CheckedLength(wide.size());
  const int needed =
      ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, usedDefault);
  if (needed <= 0) return {};
  std::string bytes(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(codePage, flags, wide.data(), length, bytes.data(), needed, nullptr,
                        usedDefault);
  return bytes;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

std::string WideToUtf8(std::wstring_view wide) { return FromWide(CP_UTF8, 0, wide, nullptr); }

bool HasLoneSurrogate(std::wstring_view wide) {
  for (size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

AnsiText Utf8ToAnsi(std::string_view utf8) {
  const std::wstring wide = Utf8ToWide(utf8);
  // With UTF-8 as the system code page every character fits, and the API refuses the
  // used-default flag for it.
  if (::GetACP() == CP_UTF8) return {WideToUtf8(wide), true};
  BOOL usedDefault = FALSE;
  std::string bytes = FromWide(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, &usedDefault);
  return {std::move(bytes), usedDefault == FALSE};
}

std::string AnsiToUtf8(std::string_view ansi) { return WideToUtf8(ToWide(CP_ACP, ansi)); }

AnsiText Utf8ToCodePage(unsigned codePage, std::string_view utf8) {
  if (codePage == CP_ACP) return Utf8ToAnsi(utf8);
  // Every character fits UTF-8, and the API refuses the used-default flag for it.
  if (codePage == CP_UTF8) return {std::string(utf8), true};
  BOOL usedDefault = FALSE;
  std::string bytes = FromWide(codePage, WC_NO_BEST_FIT_CHARS, Utf8ToWide(utf8), &usedDefault);
  // A code page the system cannot write gives nothing at all.
  const bool exact = usedDefault == FALSE && (utf8.empty() || !bytes.empty());
  return {std::move(bytes), exact};
}

std::string CodePageToUtf8(unsigned codePage, std::string_view bytes) {
  return WideToUtf8(ToWide(codePage, bytes));
}

}  // namespace dpc::win32
