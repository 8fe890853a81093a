#pragma once

#include <memory>

#include "platform/dynamic_library.h"

namespace dpc {

// The two service-manager entry points that the controller looks up itself at program start.
// Holds "ADVAPI32.DLL" until destroyed at program end.
class ServiceLibraryBinding {
 public:
  // Binds nothing when the library cannot be loaded. Throws std::runtime_error whose what() is
  // the missing entry point's name when the library lacks one.
  explicit ServiceLibraryBinding(LibraryLoader& loader);

  bool bound() const { return enumServicesStatus_ != nullptr; }
  // Addresses of EnumServicesStatusA and OpenSCManagerA, or nullptr when unbound.
  void* EnumServicesStatusA() const { return enumServicesStatus_; }
  void* OpenSCManagerA() const { return openSCManager_; }

 private:
  std::unique_ptr<DynamicLibrary> library_;
  void* enumServicesStatus_ = nullptr;
  void* openSCManager_ = nullptr;
};

}  // namespace dpc
