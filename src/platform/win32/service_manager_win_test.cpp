#include "platform/win32/service_manager_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>

#include "fakes/fake_system.h"
#include "platform/os_error.h"
#include "platform/win32/function_cast.h"
#include "platform/win32/library_loader_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

// Bound to the entry points the controller binds at start-up.
ServiceManagerWin BoundManager() {
  const HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
  return ServiceManagerWin(FunctionCast<void*>(::GetProcAddress(advapi, "EnumServicesStatusA")),
                           FunctionCast<void*>(::GetProcAddress(advapi, "OpenSCManagerA")));
}

// The registered display name of a service, asked of the manager directly.
std::string DisplayNameOf(const wchar_t* service) {
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  wchar_t name[512] = {};
  DWORD size = 512;
  const BOOL ok = ::GetServiceDisplayNameW(manager, service, name, &size);
  ::CloseServiceHandle(manager);
  return ok ? WideToUtf8(name) : std::string();
}

TEST(ServiceManagerWin, EnumerationListsTheSystemsServices) {
  ServiceManagerWin manager = BoundManager();
  const auto listed = manager.EnumServices(ServiceTypes::Win32, ServiceStates::All);
  ASSERT_TRUE(listed) << listed.error().code;
  const std::vector<ServiceEntry>& services = *listed;
  EXPECT_GE(services.size(), 5u);
  const std::string rpc = DisplayNameOf(L"RpcSs");
  ASSERT_FALSE(rpc.empty());
  const auto found = std::find_if(services.begin(), services.end(),
                                  [&](const ServiceEntry& s) { return s.displayName == rpc; });
  ASSERT_NE(found, services.end()) << rpc;
  EXPECT_EQ(found->name, "RpcSs");
  // The enumeration carries each service's state.
  EXPECT_GE(found->status.currentState, 1u);
  EXPECT_LE(found->status.currentState, 7u);
  EXPECT_TRUE(std::none_of(services.begin(), services.end(),
                           [](const ServiceEntry& s) { return s.displayName.empty(); }));
}

TEST(ServiceManagerWin, OpensAServiceAndReadsItsState) {
  ServiceManagerWin manager = BoundManager();
  auto service = manager.Open("", "RpcSs", ServiceRights::QueryStatus);
  ASSERT_TRUE(service);
  const OsResult<ServiceStatus> status = (*service)->QueryStatus();
  ASSERT_TRUE(status);
  EXPECT_GE(status->currentState, 1u);
  EXPECT_LE(status->currentState, 7u);
}

TEST(ServiceManagerWin, RequestsBeyondTheGrantedAccessAreRefusedWithTheSystemsCode) {
  ServiceManagerWin manager = BoundManager();
  auto service = manager.Open("", "RpcSs", ServiceRights::QueryStatus);
  ASSERT_TRUE(service);
  const OsStatus started = (*service)->Start();
  ASSERT_FALSE(started);
  EXPECT_EQ(started.error().code, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(started.error().api, "StartServiceW");
  const OsResult<ServiceStatus> stopped = (*service)->ControlStop();
  ASSERT_FALSE(stopped);
  EXPECT_EQ(stopped.error().code, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(stopped.error().api, "ControlService");
}

TEST(ServiceManagerWin, UnknownServiceOpensToNothingAndSaysWhy) {
  ServiceManagerWin manager = BoundManager();
  const auto opened =
      manager.Open("", "Durvin Proof Server Not Installed", ServiceRights::QueryStatus);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().code, static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(opened.error().api, "OpenServiceW");
}

int enumExport, openExport;

TEST(ServiceManagerWin, BindsTheSystemsEntryPointsAtStartUp) {
  LibraryLoaderWin loader;
  ServiceManagerWin manager;
  manager.Bind(loader);
  ASSERT_TRUE(manager.bound());
  EXPECT_TRUE(manager.EnumServices(ServiceTypes::Win32, ServiceStates::All));
}

TEST(ServiceManagerWin, HoldsTheBoundLibraryUntilDestroyed) {
  test::FakeLibraryLoader loader;
  loader.libraries["ADVAPI32.DLL"] = {{"EnumServicesStatusA", &enumExport},
                                      {"OpenSCManagerA", &openExport}};
  {
    ServiceManagerWin manager;
    manager.Bind(loader);
    EXPECT_TRUE(manager.bound());
    EXPECT_EQ(loader.unloads, 0);
  }
  EXPECT_EQ(loader.unloads, 1);
  EXPECT_EQ(loader.loads, std::vector<std::string>{"ADVAPI32.DLL"});
}

TEST(ServiceManagerWin, AMissingLibraryBindsNothingAndAMissingEntryPointFailsWithItsName) {
  test::FakeLibraryLoader withoutLibrary;
  ServiceManagerWin unbound;
  unbound.Bind(withoutLibrary);
  EXPECT_FALSE(unbound.bound());

  const struct {
    std::map<std::string, void*> exports;
    const char* message;
  } cases[] = {
      {{{"OpenSCManagerA", &openExport}}, "EnumServicesStatusA"},
      {{{"EnumServicesStatusA", &enumExport}}, "OpenSCManagerA"},
      {{}, "EnumServicesStatusA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    test::FakeLibraryLoader loader;
    loader.libraries["ADVAPI32.DLL"] = c.exports;
    ServiceManagerWin manager;
    std::optional<std::string> message;
    try {
      manager.Bind(loader);
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    EXPECT_EQ(message, c.message);
    EXPECT_FALSE(manager.bound());
  }
}

TEST(ServiceManagerWin, UnboundEntryPointsBehaveLikeAClosedManager) {
  ServiceManagerWin manager(nullptr, nullptr);
  const auto opened = manager.Open("", "RpcSs", ServiceRights::QueryStatus);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().code, static_cast<uint32_t>(ERROR_PROC_NOT_FOUND));
  const auto listed = manager.EnumServices(ServiceTypes::Win32, ServiceStates::All);
  ASSERT_FALSE(listed);
  EXPECT_EQ(listed.error().code, static_cast<uint32_t>(ERROR_PROC_NOT_FOUND));
}

// OpenSCManagerA, counted, refusing while `refuseOpening` is set.
std::atomic<int> managerOpenings{0};
std::atomic<bool> refuseOpening{false};
SC_HANDLE WINAPI CountedOpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
  ++managerOpenings;
  if (refuseOpening) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return ::OpenSCManagerA(machine, database, access);
}

// The tick and the menu ask several times a second: the local manager is connected once, a
// refused connection is not kept and keeps its code.
TEST(ServiceManagerWin, KeepsOneConnectionToTheLocalManager) {
  const HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
  ServiceManagerWin manager(FunctionCast<void*>(::GetProcAddress(advapi, "EnumServicesStatusA")),
                            FunctionCast<void*>(&CountedOpenSCManagerA));
  refuseOpening = true;
  const auto refused = manager.Open("", "RpcSs", ServiceRights::QueryStatus);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(refused.error().api, "OpenSCManagerA");
  refuseOpening = false;
  managerOpenings = 0;
  for (int i = 0; i < 3; ++i) {
    const auto listed = manager.EnumServices(ServiceTypes::Win32, ServiceStates::All);
    EXPECT_TRUE(listed && !listed->empty());
    auto service = manager.Open("", "RpcSs", ServiceRights::QueryStatus);
    ASSERT_TRUE(service);
    EXPECT_TRUE((*service)->QueryStatus());
  }
  EXPECT_EQ(managerOpenings.load(), 1);
}

// A worker's start or stop and the supervision tick call the manager from two threads at once.
TEST(ServiceManagerWin, TwoThreadsCallingAtOnceAllSucceed) {
  ServiceManagerWin manager = BoundManager();
  std::atomic<int> failed{0};
  std::thread enumerating([&] {
    for (int i = 0; i < 400; ++i) {
      const auto listed = manager.EnumServices(ServiceTypes::Win32, ServiceStates::All);
      if (!listed || listed->empty()) ++failed;
    }
  });
  for (int i = 0; i < 400; ++i) {
    auto service = manager.Open("", "RpcSs", ServiceRights::QueryStatus);
    if (!service || !(*service)->QueryStatus()) ++failed;
  }
  enumerating.join();
  EXPECT_EQ(failed.load(), 0);
}

}  // namespace
}  // namespace dpc::win32
