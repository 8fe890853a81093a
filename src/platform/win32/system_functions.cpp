#include "platform/win32/system_functions.h"

#include "platform/win32/function_cast.h"

namespace dpc::win32::system_function {
namespace {

void* LookUp(const wchar_t* module, const char* name) {
  HMODULE handle = ::GetModuleHandleW(module);
  // A module the program does not import (shcore) is taken from System32 only.
  if (!handle) handle = ::LoadLibraryExW(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return handle ? FunctionCast<void*>(::GetProcAddress(handle, name)) : nullptr;
}

}  // namespace

#define DPC_DEFINE_SYSTEM_FUNCTION(module, name, type)                         \
  name##Type name() {                                                          \
    static const auto found = FunctionCast<name##Type>(LookUp(module, #name)); \
    return found;                                                              \
  }
DPC_SYSTEM_FUNCTIONS(DPC_DEFINE_SYSTEM_FUNCTION)
#undef DPC_DEFINE_SYSTEM_FUNCTION

}  // namespace dpc::win32::system_function
