#include "platform/win32/instance_guard_win.h"

#include "platform/win32/os_error_win.h"

namespace dpc::win32 {

InstanceGuardWin::InstanceGuardWin(const std::wstring& name)
    : mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16,
                                    name.c_str())) {
  const DWORD error = ::GetLastError();
  if (mapping_) {
    outcome_ = error == ERROR_ALREADY_EXISTS ? Outcome::kAlreadyRunning : Outcome::kHeld;
  } else {
    outcome_ = error == ERROR_ACCESS_DENIED ? Outcome::kAlreadyRunning : Outcome::kUnavailable;
  }
}

OsStatus InstanceGuardWin::Release() {
  if (!mapping_) return OsStatus::Success();
  if (!::CloseHandle(mapping_.release())) return LastOsError("CloseHandle");
  return OsStatus::Success();
}

}  // namespace dpc::win32
