#include "platform/win32/service_manager_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/os_error.h"
#include "platform/win32/function_cast.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

// Bound the way the controller binds them at start-up.
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
  const std::vector<ServiceEntry> services =
      manager.EnumServices(scm::kServiceWin32, scm::kServiceStateAll);
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
  auto service = manager.Open("", "RpcSs", scm::kManagerConnect, scm::kServiceQueryStatus, nullptr);
  ASSERT_NE(service, nullptr);
  const std::optional<ServiceStatus> status = service->QueryStatus();
  ASSERT_TRUE(status.has_value());
  EXPECT_GE(status->currentState, 1u);
  EXPECT_LE(status->currentState, 7u);
}

TEST(ServiceManagerWin, RequestsBeyondTheGrantedAccessAreRefusedWithTheSystemsCode) {
  ServiceManagerWin manager = BoundManager();
  auto service = manager.Open("", "RpcSs", scm::kManagerConnect, scm::kServiceQueryStatus, nullptr);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->LastRefusal(), 0u);
  EXPECT_FALSE(service->Start());
  EXPECT_EQ(service->LastRefusal(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(service->ControlStop(), std::nullopt);
  EXPECT_EQ(service->LastRefusal(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
}

TEST(ServiceManagerWin, UnknownServiceOpensToNothingAndSaysWhy) {
  ServiceManagerWin manager = BoundManager();
  uint32_t error = 0;
  EXPECT_EQ(manager.Open("", "Durvin Proof Server Not Installed", scm::kManagerConnect,
                         scm::kServiceQueryStatus, &error),
            nullptr);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST(ServiceManagerWin, UnboundEntryPointsBehaveLikeAClosedManager) {
  ServiceManagerWin manager(nullptr, nullptr);
  uint32_t error = 0;
  EXPECT_EQ(manager.Open("", "RpcSs", scm::kManagerConnect, scm::kServiceQueryStatus, &error),
            nullptr);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_PROC_NOT_FOUND));
  try {
    manager.EnumServices(scm::kServiceWin32, scm::kServiceStateAll);
    FAIL() << "no SystemError thrown";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), static_cast<uint32_t>(ERROR_PROC_NOT_FOUND));
  }
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
// refused connection is not kept, and a request for more than every user may ask connects anew.
TEST(ServiceManagerWin, KeepsOneConnectionToTheLocalManager) {
  const HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
  ServiceManagerWin manager(FunctionCast<void*>(::GetProcAddress(advapi, "EnumServicesStatusA")),
                            FunctionCast<void*>(&CountedOpenSCManagerA));
  refuseOpening = true;
  uint32_t error = 0;
  EXPECT_EQ(manager.Open("", "RpcSs", scm::kManagerConnect, scm::kServiceQueryStatus, &error),
            nullptr);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  refuseOpening = false;
  managerOpenings = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(manager.EnumServices(scm::kServiceWin32, scm::kServiceStateAll).empty());
    auto service =
        manager.Open("", "RpcSs", scm::kManagerConnect, scm::kServiceQueryStatus, nullptr);
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(service->QueryStatus().has_value());
  }
  EXPECT_EQ(managerOpenings.load(), 1);
  const uint32_t wider = scm::kManagerConnect | SC_MANAGER_QUERY_LOCK_STATUS;
  EXPECT_NE(manager.Open("", "RpcSs", wider, scm::kServiceQueryStatus, nullptr), nullptr);
  EXPECT_EQ(managerOpenings.load(), 2);
}

// A worker's start or stop and the supervision tick call the manager from two threads at once.
TEST(ServiceManagerWin, TwoThreadsCallingAtOnceAllSucceed) {
  ServiceManagerWin manager = BoundManager();
  std::atomic<int> failed{0};
  std::thread enumerating([&] {
    for (int i = 0; i < 400; ++i) {
      try {
        if (manager.EnumServices(scm::kServiceWin32, scm::kServiceStateAll).empty()) ++failed;
      } catch (const SystemError&) {
        ++failed;
      }
    }
  });
  for (int i = 0; i < 400; ++i) {
    auto service =
        manager.Open("", "RpcSs", scm::kManagerConnect, scm::kServiceQueryStatus, nullptr);
    if (!service || !service->QueryStatus()) ++failed;
  }
  enumerating.join();
  EXPECT_EQ(failed.load(), 0);
}

}  // namespace
}  // namespace dpc::win32
