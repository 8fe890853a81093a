#include "service/service_binding.h"

#include <stdexcept>

namespace dpc {

namespace {

void* RequireSymbol(DynamicLibrary& library, const char* name) {
  const OsResult<void*> address = library.Symbol(name);
  if (!address) throw std::runtime_error(name);
  return *address;
}

}  // namespace

ServiceLibraryBinding::ServiceLibraryBinding(LibraryLoader& loader) {
  OsResult<std::unique_ptr<DynamicLibrary>> loaded = loader.Load("ADVAPI32.DLL");
  if (!loaded) return;
  library_ = std::move(*loaded);
  enumServicesStatus_ = RequireSymbol(*library_, "EnumServicesStatusA");
  openSCManager_ = RequireSymbol(*library_, "OpenSCManagerA");
}

}  // namespace dpc
