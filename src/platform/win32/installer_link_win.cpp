#include "platform/win32/installer_link_win.h"

#include <windows.h>
#include <aclapi.h>
#include <bcrypt.h>
#include <sddl.h>

#include <memory>

#include "platform/win32/os_error_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

constexpr wchar_t kNamePrefix[] = L"Global\\DurvinProofControl.Close.";
// Longer than any name the package writes: a longer value is nobody's close signal.
constexpr DWORD kNameLimit = 128;

OsResult<std::wstring> ReadName(HKEY key) {
  wchar_t name[kNameLimit] = {};
  DWORD bytes = sizeof name;
  const LSTATUS status =
      ::RegGetValueW(key, nullptr, kCloseSignalValue, RRF_RT_REG_SZ, nullptr, name, &bytes);
  switch (status) {
    case ERROR_SUCCESS:
      return std::wstring(name);
    // No value, one too long or not a string (nobody's close signal), or the key gone with the
    // product: nothing is published.
    case ERROR_FILE_NOT_FOUND:
    case ERROR_MORE_DATA:
    case ERROR_UNSUPPORTED_TYPE:
    case ERROR_KEY_DELETED:
      return std::wstring();
    default:
      return MakeOsError(static_cast<uint32_t>(status), "RegGetValueW");
  }
}

// Asks Windows to signal `changed` at the key's next value change: once, so it is asked again
// after every change, before the value is read.
LSTATUS Watch(HKEY key, HANDLE changed) {
  return ::RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE);
}

}  // namespace

OsResult<std::string> InstallerLinkWin::PublishedCloseSignal() {
  if (!opened_) {
    // The package writes the key with the program, so it is there wherever the package installed
    // this controller; without it nothing is watched. Any other failure is tried again.
    HKEY key = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_, 0, KEY_QUERY_VALUE | KEY_NOTIFY, &key);
    if (status == ERROR_FILE_NOT_FOUND) opened_ = true;
    if (status != ERROR_SUCCESS) {
      if (opened_) return std::string();
      return MakeOsError(static_cast<uint32_t>(status), "RegOpenKeyExW");
    }
    ScopedRegistryKey opened(key);
    changed_.reset(::CreateEventW(nullptr, FALSE, TRUE, nullptr));  // set: read at once
    if (!changed_) return LastOsError("CreateEventW");
    key_ = std::move(opened);
    opened_ = true;
  }
  if (!key_ || ::WaitForSingleObject(changed_.get(), 0) != WAIT_OBJECT_0) return name_;
  const LSTATUS watching = Watch(key_.get(), changed_.get());
  const OsResult<std::wstring> name = ReadName(key_.get());
  // A key that cannot be watched again was deleted with the product: nothing more to learn.
  if (watching == ERROR_KEY_DELETED) key_.reset();
  // Not read, or not watched for the next change: the event stays set, so the next call tries
  // again. A name read without a watch is still the published one.
  if (!name || (watching != ERROR_SUCCESS && key_)) (void)::SetEvent(changed_.get());
  if (!name) return name.error();
  name_ = WideToUtf8(*name);
  return name_;
}

OsResult<CloseSignalState> InstallerLinkWin::ReadCloseSignal(const std::string& name) {
  // The rights authenticated users hold: to wait, and to read the owner.
  ScopedKernelHandle signal(
      ::OpenEventW(SYNCHRONIZE | READ_CONTROL, FALSE, Utf8ToWide(name).c_str()));
  if (!signal) return LastOsError("OpenEventW");
  CloseSignalState state;
  state.raised = ::WaitForSingleObject(signal.get(), 0) == WAIT_OBJECT_0;
  // Through the same handle, so the owner is that of the event whose state was read.
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(signal.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION,
                                        &owner, nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return MakeOsError(error, "GetSecurityInfo");
  const std::unique_ptr<void, LocalFreer> ownedDescriptor(descriptor);
  if (owner) {
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(owner, &text)) return LastOsError("ConvertSidToStringSidW");
    const std::unique_ptr<wchar_t, LocalFreer> ownedText(text);
    state.ownerSid = WideToUtf8(text);
  }
  return state;
}

OsStatus InstallerLinkWin::RegisterForRestart() {
  // No arguments, ever: an "elevation N" start must come from the operator's choice. Not after a
  // crash or hang, and not after a reboot, where the autostart value starts the controller.
  const HRESULT result =
      ::RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
  if (FAILED(result))
    return MakeOsError(static_cast<uint32_t>(result), "RegisterApplicationRestart");
  return OsStatus::Success();
}

std::wstring FreshCloseSignalName() {
  unsigned char random[16];
  if (!BCRYPT_SUCCESS(
          ::BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return {};
  }
  std::wstring name = kNamePrefix;
  for (unsigned char byte : random) {
    name += L"0123456789ABCDEF"[byte >> 4];
    name += L"0123456789ABCDEF"[byte & 15];
  }
  return name;
}

ScopedKernelHandle RaiseCloseSignal(const std::function<std::wstring()>& freshName,
                                    const wchar_t* key) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kCloseSignalSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return ScopedKernelHandle();
  }
  const std::unique_ptr<void, LocalFreer> ownedDescriptor(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // A name taken already was made by somebody else, whose rights and owner it keeps.
  ScopedKernelHandle signal;
  std::wstring name;
  for (int attempt = 0; attempt < 4 && !signal; ++attempt) {
    name = freshName();
    if (name.empty()) return ScopedKernelHandle();
    signal.reset(::CreateEventW(&attributes, TRUE, TRUE, name.c_str()));
    if (signal && ::GetLastError() == ERROR_ALREADY_EXISTS) signal.reset();
  }
  if (!signal) return signal;
  HKEY published = nullptr;
  LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     &published, nullptr);
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExW(published, kCloseSignalValue, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(name.c_str()),
                              static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(published);
  }
  if (status != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(status));
    return ScopedKernelHandle();
  }
  return signal;
}

void WithdrawCloseSignal(const wchar_t* key) {
  (void)::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, kCloseSignalValue);
}

}  // namespace dpc::win32
