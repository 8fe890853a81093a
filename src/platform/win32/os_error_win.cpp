#include "platform/win32/os_error_win.h"

#include <windows.h>

#include <utility>

#include "platform/win32/text.h"

namespace dpc::win32 {

OsResult<std::string> SystemMessage(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) {
    const DWORD error = ::GetLastError();
    // No message for the code, in any language the system has: the answer, not a failure.
    if (error == ERROR_MR_MID_NOT_FOUND || error == ERROR_RESOURCE_LANG_NOT_FOUND) {
      return std::string();
    }
    // Without text: asking the system for this code's text may fail the same way.
    return OsError{error, "FormatMessageW", ""};
  }
  std::wstring text(buffer, length);
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return WideToUtf8(text);
}

std::string SystemMessageText(uint32_t code) {
  OsResult<std::string> text = SystemMessage(code);
  return text ? std::move(*text) : std::string();
}

OsError MakeOsError(uint32_t code, std::string api) {
  return OsError{code, std::move(api), SystemMessageText(code)};
}

OsError LastOsError(std::string api) {
  const DWORD code = ::GetLastError();
  return MakeOsError(code, std::move(api));
}

void ThrowOsError(uint32_t code, std::string api) {
  throw SystemError(MakeOsError(code, std::move(api)));
}

void ThrowLastError(std::string api) {
  const DWORD code = ::GetLastError();
  ThrowOsError(code, std::move(api));
}

}  // namespace dpc::win32
