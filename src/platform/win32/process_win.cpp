#include "platform/win32/process_win.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"

namespace dpc::win32 {

OsResult<uint32_t> ProcessInfoWin::OsMajorVersion() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  // The manifest-dependent answer of GetVersionEx is what the elevation rules are written for, so
  // the deprecated call is the right one here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = ::GetVersionExW(&info);
#pragma GCC diagnostic pop
  if (!ok) return LastOsError("GetVersionExW");
  return static_cast<uint32_t>(info.dwMajorVersion);
}

OsResult<uint32_t> ProcessInfoWin::QueryIntegrityRid() {
  ScopedKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_QUERY_SOURCE,
                          token.receive())) {
    return LastOsError("OpenProcessToken");
  }
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size)) {
    const OsError sizing = LastOsError("GetTokenInformation");
    if (sizing.code != ERROR_INSUFFICIENT_BUFFER) return sizing;
  }
  if (size < sizeof(TOKEN_MANDATORY_LABEL)) {
    return MakeOsError(ERROR_INVALID_DATA, "GetTokenInformation");
  }
  // Word-sized storage keeps the label's SID pointer aligned.
  std::vector<uint64_t> buffer((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
  auto* label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data());
  if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, label, size, &size)) {
    return LastOsError("GetTokenInformation");
  }
  PSID sid = label->Label.Sid;
  if (sid == nullptr || !::IsValidSid(sid)) return MakeOsError(ERROR_INVALID_SID, "IsValidSid");
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  if (count == 0) return MakeOsError(ERROR_INVALID_SID, "GetSidSubAuthorityCount");
  return static_cast<uint32_t>(*::GetSidSubAuthority(sid, count - 1u));
}

OsResult<std::string> ProcessInfoWin::ExecutablePath() {
  // Paths may exceed MAX_PATH; a full buffer means the name was cut, so grow and ask again.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return LastOsError("GetModuleFileNameW");
    if (length < size) {
      buffer.resize(length);
      return WideToUtf8(buffer);
    }
    if (buffer.size() >= 65536) return MakeOsError(ERROR_INSUFFICIENT_BUFFER, "GetModuleFileNameW");
    buffer.resize(buffer.size() * 2);
  }
}

OsResult<std::vector<std::string>> ProcessInfoWin::Arguments() {
  int count = 0;
  std::unique_ptr<wchar_t*, decltype(&::LocalFree)> argv(
      ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
  if (!argv) return LastOsError("CommandLineToArgvW");
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8(argv.get()[i]));
  return arguments;
}

OsResult<std::string> ProcessInfoWin::SystemErrorText(uint32_t code) { return SystemMessage(code); }

}  // namespace dpc::win32
