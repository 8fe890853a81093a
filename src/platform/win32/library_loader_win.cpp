#include "platform/win32/library_loader_win.h"

#include <windows.h>

#include <utility>

#include "platform/win32/function_cast.h"
#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

class DynamicLibraryWin final : public DynamicLibrary {
 public:
  explicit DynamicLibraryWin(ScopedModule module) : module_(std::move(module)) {}

  OsResult<void*> Symbol(const char* name) override {
    if (name == nullptr) return MakeOsError(ERROR_INVALID_PARAMETER, "GetProcAddress");
    void* address = FunctionCast<void*>(::GetProcAddress(module_.get(), name));
    if (address == nullptr) return LastOsError("GetProcAddress");
    return address;
  }

 private:
  ScopedModule module_;
};

std::wstring ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder, length) + L"\\";
}

HMODULE LoadFromSafeFolders(const std::wstring& name) {
  // Only the executable's folder and the system folder: the controller may run elevated, and the
  // current folder or PATH may be writable by anyone.
  HMODULE module = ::LoadLibraryExW(
      name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;

  // A system without the search flags (Vista, 7 before its loader update): the same two folders
  // by full path.
  for (const std::wstring& folder : {ExecutableFolder(), SystemFolder()}) {
    if (folder.empty()) continue;
    module = ::LoadLibraryExW((folder + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module) return module;
  }
  return nullptr;
}

}  // namespace

DllSearch RestrictDllSearch() {
  const auto setDefault = system_function::SetDefaultDllDirectories();
  // The current folder goes in either case: on a system with the call it costs nothing.
  ::SetDllDirectoryW(L"");
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
    return DllSearch::kDefaultDirectories;
  }
  return DllSearch::kNoCurrentFolder;
}

OsResult<std::unique_ptr<DynamicLibrary>> LibraryLoaderWin::Load(const std::string& name) {
  DWORD previousMode = 0;
  const bool modeSet =
      ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  ScopedModule module(LoadFromSafeFolders(Utf8ToWide(name)));
  const DWORD code = ::GetLastError();
  if (modeSet) ::SetThreadErrorMode(previousMode, nullptr);
  if (!module) return MakeOsError(code, "LoadLibraryExW");
  return std::unique_ptr<DynamicLibrary>(std::make_unique<DynamicLibraryWin>(std::move(module)));
}

}  // namespace dpc::win32
