#include "platform/win32/installer_link_win.h"

#include <windows.h>
#include <sddl.h>

namespace dpc::win32 {

bool InstallerLinkWin::CloseRequested() {
  // Opening with the right to wait only: the signal's rights give ordinary users no more.
  ScopedKernelHandle signal(::OpenEventW(SYNCHRONIZE, FALSE, name_));
  return signal && ::WaitForSingleObject(signal.get(), 0) == WAIT_OBJECT_0;
}

void InstallerLinkWin::RegisterForRestart() {
  // No arguments, ever: an "elevation N" start must come from the operator's choice. Not after a
  // crash or hang, and not after a reboot, where the autostart value starts the controller.
  (void)::RegisterApplicationRestart(nullptr,
                                     RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
}

ScopedKernelHandle RaiseCloseSignal(const wchar_t* signalName) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kCloseSignalSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return ScopedKernelHandle();
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  ScopedKernelHandle signal(::CreateEventW(&attributes, TRUE, TRUE, signalName));
  const DWORD error = ::GetLastError();
  ::LocalFree(descriptor);
  // One made already belongs to another running package, whose rights made it: raise it too.
  if (signal && error == ERROR_ALREADY_EXISTS) ::SetEvent(signal.get());
  ::SetLastError(error);
  return signal;
}

}  // namespace dpc::win32
