// The stand-in server must answer the service manager the way the end-to-end tests assume: if it
// drifted, the controller's tests would pass or fail for the wrong reason.

#include <gtest/gtest.h>

#include <thread>

#include "stand_in_fixture.h"

namespace dpc::e2e {
namespace {

using standin::Behaviour;

SERVICE_STATUS_PROCESS StatusNow() {
  const auto status = standin::Query();
  EXPECT_TRUE(status.has_value());
  return status.value_or(SERVICE_STATUS_PROCESS{});
}

using StandInServiceTest = StandInServerTest;

TEST_F(StandInServiceTest, NormalStartsAndStopsThroughPendingWithRisingCheckpoints) {
  ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
  const auto first = StatusNow();
  EXPECT_EQ(first.dwCurrentState, DWORD{SERVICE_START_PENDING});
  std::this_thread::sleep_for(600ms);
  const auto later = StatusNow();
  EXPECT_EQ(later.dwCurrentState, DWORD{SERVICE_START_PENDING});
  EXPECT_GT(later.dwCheckPoint, first.dwCheckPoint);
  EXPECT_TRUE(standin::WaitForState(SERVICE_RUNNING, 5s));
  EXPECT_EQ(StatusNow().dwWin32ExitCode, DWORD{NO_ERROR});

  ASSERT_EQ(standin::Stop(), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(StatusNow().dwCurrentState, DWORD{SERVICE_STOP_PENDING});
  EXPECT_TRUE(standin::WaitForState(SERVICE_STOPPED, 5s));
}

TEST_F(StandInServiceTest, SlowIsStillPendingAfterSeconds) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kSlow));
  ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
  const auto first = StatusNow();
  std::this_thread::sleep_for(3s);
  const auto later = StatusNow();
  EXPECT_EQ(later.dwCurrentState, DWORD{SERVICE_START_PENDING});
  EXPECT_GT(later.dwCheckPoint, first.dwCheckPoint);
}

TEST_F(StandInServiceTest, StuckRefusesStopYetTheNextInstallClearsIt) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kStuck));
  ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(StatusNow().dwCurrentState, DWORD{SERVICE_START_PENDING});
  EXPECT_NE(standin::Stop(), DWORD{ERROR_SUCCESS});

  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kNormal, /*running=*/true));
}

TEST_F(StandInServiceTest, DropCheckpointFallsToZeroWhileStillPending) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kDropCheckpoint));
  ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
  DWORD highest = 0;
  bool dropped = false;
  const auto deadline = std::chrono::steady_clock::now() + 8s;
  while (!dropped && std::chrono::steady_clock::now() < deadline) {
    const auto status = StatusNow();
    ASSERT_EQ(status.dwCurrentState, DWORD{SERVICE_START_PENDING});
    highest = std::max(highest, status.dwCheckPoint);
    dropped = highest >= 5 && status.dwCheckPoint == 0;
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(dropped) << "highest checkpoint " << highest;
}

TEST_F(StandInServiceTest, ExitCodeIsReportedWhileStartPending) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kExitCode));
  ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
  std::this_thread::sleep_for(500ms);
  const auto status = StatusNow();
  EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_START_PENDING});
  EXPECT_NE(status.dwWin32ExitCode, DWORD{NO_ERROR});
}

TEST_F(StandInServiceTest, SelfStopReportsItsOwnStopWithAServiceSpecificCode) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kStopsOnItsOwn, /*running=*/true));
  std::this_thread::sleep_for(4s);
  EXPECT_EQ(StatusNow().dwCurrentState, DWORD{SERVICE_RUNNING});
  ASSERT_TRUE(standin::WaitForState(SERVICE_STOPPED, 5s));
  // The codes must outlast the service's process, since the controller reads them afterwards.
  std::this_thread::sleep_for(1s);
  const auto status = StatusNow();
  EXPECT_EQ(status.dwWin32ExitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_EQ(status.dwServiceSpecificExitCode, standin::kServiceSpecificExitCode);
}

TEST_F(StandInServiceTest, PausableGoesToPausedAndBack) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kPausable, /*running=*/true));
  ASSERT_EQ(standin::Control(SERVICE_CONTROL_PAUSE), DWORD{ERROR_SUCCESS});
  EXPECT_TRUE(standin::WaitForState(SERVICE_PAUSED, 5s));
  ASSERT_EQ(standin::Control(SERVICE_CONTROL_CONTINUE), DWORD{ERROR_SUCCESS});
  EXPECT_TRUE(standin::WaitForState(SERVICE_RUNNING, 5s));
}

TEST_F(StandInServiceTest, NormalRefusesPause) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kNormal, /*running=*/true));
  EXPECT_NE(standin::Control(SERVICE_CONTROL_PAUSE), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(StatusNow().dwCurrentState, DWORD{SERVICE_RUNNING});
}

// scripts/run.sh installs the stand-in through its own command line.
DWORD RunStandIn(const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + StandInExecutable() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 0xFFFFFFFF;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST_F(StandInServiceTest, CommandLineInstallsDemandStartOwnProcessServiceAndUninstalls) {
  ASSERT_EQ(RunStandIn(L"install pausable"), DWORD{0});
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = OpenServiceW(manager, standin::kServiceName, SERVICE_QUERY_CONFIG);
  ASSERT_NE(service, nullptr);
  alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigW(service, config, sizeof buffer, &needed));
  EXPECT_EQ(config->dwStartType, DWORD{SERVICE_DEMAND_START});
  EXPECT_EQ(config->dwServiceType, DWORD{SERVICE_WIN32_OWN_PROCESS});
  EXPECT_STREQ(config->lpDisplayName, L"Durvin Proof Server");
  EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + StandInExecutable() + L"\" pausable");
  CloseServiceHandle(service);
  CloseServiceHandle(manager);

  EXPECT_EQ(RunStandIn(L"start"), DWORD{0});
  EXPECT_EQ(State(), DWORD{SERVICE_RUNNING});
  EXPECT_EQ(RunStandIn(L"uninstall"), DWORD{0});
  EXPECT_FALSE(standin::Query().has_value());
}

}  // namespace
}  // namespace dpc::e2e
