#pragma once

#include <functional>
#include <string>

#include "platform/installer_link.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::win32 {

// Where the package publishes the close signal's name: beside the remembered folder, under
// HKLM\SOFTWARE, where ordinary users may read but neither create nor change keys or values.
inline constexpr wchar_t kCloseSignalKey[] = L"SOFTWARE\\Durvin\\Proof Control";
inline constexpr wchar_t kCloseSignalValue[] = L"CloseSignal";

// The close signal is a manual-reset event in the machine-wide namespace, so one event reaches the
// controllers of every session. Any user may create an event there (the privilege Windows asks
// for covers only file mappings), and may give it no owner but one of their own: so a controller
// counts an event only when Administrators or LocalSystem own it, and the package makes it under
// a fresh name, known to nobody before the package publishes it. Administrators and LocalSystem
// may do anything with it; authenticated users may wait for it and read who owns it.
inline constexpr wchar_t kCloseSignalSddl[] =
    L"O:BAG:SYD:(A;;GA;;;BA)(A;;GA;;;SY)(A;;0x00120000;;;AU)";

class InstallerLinkWin final : public InstallerLink {
 public:
  explicit InstallerLinkWin(const wchar_t* key = kCloseSignalKey) : keyPath_(key) {}
  OsResult<std::string> PublishedCloseSignal() override;
  OsResult<CloseSignalState> ReadCloseSignal(const std::string& name) override;
  OsStatus RegisterForRestart() override;

 private:
  const wchar_t* keyPath_;
  bool opened_ = false;
  ScopedRegistryKey key_;
  // Signalled by Windows when a value of the key changes; the name is read again then only.
  ScopedKernelHandle changed_;
  std::string name_;
};

// A name for the close signal that nobody can know beforehand: "Global\DurvinProofControl.Close."
// and 32 random hexadecimal digits. Empty when the system has no random numbers to give.
std::wstring FreshCloseSignalName();

// The package's side. Makes the close signal, raised, under a fresh name (one that exists already
// was made by somebody else and is passed over), owned by Administrators, and only then publishes
// its name for the controllers. An empty handle when it cannot (the caller then has nothing to
// wait for); GetLastError says why. WithdrawCloseSignal removes the published name again.
ScopedKernelHandle RaiseCloseSignal(
    const std::function<std::wstring()>& freshName = FreshCloseSignalName,
    const wchar_t* key = kCloseSignalKey);
void WithdrawCloseSignal(const wchar_t* key = kCloseSignalKey);

}  // namespace dpc::win32
