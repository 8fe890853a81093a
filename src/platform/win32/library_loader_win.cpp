#include "platform/win32/library_loader_win.h"

#include <windows.h>

#include <utility>

#include "platform/win32/function_cast.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

class DynamicLibraryWin final : public DynamicLibrary {
 public:
  explicit DynamicLibraryWin(ScopedModule module) : module_(std::move(module)) {}

  void* Symbol(const char* name) override {
    if (name == nullptr) return nullptr;
    return FunctionCast<void*>(::GetProcAddress(module_.get(), name));
  }

 private:
  ScopedModule module_;
};

}  // namespace

std::unique_ptr<DynamicLibrary> LibraryLoaderWin::Load(const std::string& name) {
  DWORD previousMode = 0;
  const bool modeSet =
      ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  ScopedModule module(::LoadLibraryW(Utf8ToWide(name).c_str()));
  if (modeSet) ::SetThreadErrorMode(previousMode, nullptr);
  if (!module) return nullptr;
  return std::make_unique<DynamicLibraryWin>(std::move(module));
}

}  // namespace dpc::win32
