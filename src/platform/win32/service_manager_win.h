#pragma once

#include <memory>

#include "platform/dynamic_library.h"
#include "platform/service_manager.h"

namespace dpc::win32 {

// The service manager through the two entry points it binds at start-up (enumeration and opening
// the manager) and ordinary imports for the rest. Unbound entry points (nullptr) behave like a
// manager that cannot be opened.
//
// The local manager is connected once and kept for enumerating and opening services: connecting
// costs more than the query that follows it, and the tick and the menu ask several times a
// second. Services themselves are opened anew for every request, so a removed or re-created
// service is seen at once and no handle of ours keeps a deleted service alive.
class ServiceManagerWin final : public ServiceManager {
 public:
  // Unbound until Bind().
  ServiceManagerWin() = default;
  // The addresses of EnumServicesStatusA and OpenSCManagerA, as the start-up binding found them.
  ServiceManagerWin(void* enumServicesStatusA, void* openSCManagerA);
  ~ServiceManagerWin() override;
  // Binds EnumServicesStatusA and OpenSCManagerA of "ADVAPI32.DLL", loaded through the loader and
  // held until the manager is destroyed. Binds nothing when the library cannot be loaded; throws
  // std::runtime_error whose what() is the missing entry point's name when it lacks one. Called
  // once at start-up, before any worker thread uses the manager.
  void Bind(LibraryLoader& loader);
  bool bound() const { return enumServicesStatus_ != nullptr; }

  OsResult<std::vector<ServiceEntry>> EnumServices(ServiceTypes types,
                                                   ServiceStates states) override;
  OsResult<std::unique_ptr<OpenedService>> Open(const std::string& machine, const std::string& name,
                                                ServiceRights rights) override;

  // One manager handle, shared by the kept connection and the services opened through it.
  class SharedManager;

 private:
  std::unique_ptr<DynamicLibrary> library_;
  // Kept untyped so this header does not pull <windows.h> and its macros into its includers.
  void* enumServicesStatus_ = nullptr;
  void* openManager_ = nullptr;
  // The kept connection to the local manager, shared with the services opened through it; null
  // until first needed and after a failure.
  std::shared_ptr<SharedManager> localManager_;

  OsResult<std::shared_ptr<SharedManager>> Manager(const std::string& machine, uint32_t access,
                                                   bool fresh);
};

}  // namespace dpc::win32
