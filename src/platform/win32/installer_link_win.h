#pragma once

#include "platform/installer_link.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::win32 {

// The close signal: a manual-reset event in the machine-wide namespace, so one event reaches the
// controllers of every session. Only the package creates it, and it lives while the package holds
// it.
inline constexpr wchar_t kCloseSignalName[] = L"Global\\DurvinProofControl.Close";

// Everyone may wait on the signal; only administrators and LocalSystem may raise or change it.
// (Making an object in the machine-wide namespace takes a privilege ordinary users lack, so none
// can make it first with looser rights.)
inline constexpr wchar_t kCloseSignalSddl[] =
    L"O:BAG:SYD:(A;;GA;;;BA)(A;;GA;;;SY)(A;;0x00100000;;;AU)";

class InstallerLinkWin final : public InstallerLink {
 public:
  explicit InstallerLinkWin(const wchar_t* signalName = kCloseSignalName) : name_(signalName) {}
  bool CloseRequested() override;
  void RegisterForRestart() override;

 private:
  const wchar_t* name_;
};

// The package's side: creates the signal with the rights above, raised. An empty handle when it
// cannot (the caller then has nothing to wait for); GetLastError says why.
ScopedKernelHandle RaiseCloseSignal(const wchar_t* signalName = kCloseSignalName);

}  // namespace dpc::win32
