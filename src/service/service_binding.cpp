#include "service/service_binding.h"

#include <stdexcept>

namespace dpc {

namespace {

void* RequireSymbol(DynamicLibrary& library, const char* name) {
  void* address = library.Symbol(name);
  if (!address) throw std::runtime_error(name);
  return address;
}

}  // namespace

ServiceLibraryBinding::ServiceLibraryBinding(LibraryLoader& loader)
    : library_(loader.Load("ADVAPI32.DLL")) {
  if (!library_) return;
  enumServicesStatus_ = RequireSymbol(*library_, "EnumServicesStatusA");
  openSCManager_ = RequireSymbol(*library_, "OpenSCManagerA");
}

}  // namespace dpc
