#include "service/service_access.h"

#include <gtest/gtest.h>

#include <functional>

#include "fakes/fake_clock.h"
#include "fakes/fake_service_manager.h"

namespace dpc {
namespace {

using test::FakeClock;
using test::FakeServiceManager;

class ServiceAccessTest : public ::testing::Test {
 protected:
  FakeServiceManager::Service& InstallServer(uint32_t state) {
    return manager.Install(kServerServiceName, kServerServiceName, state);
  }

  FakeServiceManager manager;
  FakeClock clock;
  ServiceAccess access{manager, clock};
};

TEST(ServiceStateNameTest, NamesEveryCodeAndUnknownOtherwise) {
  const struct {
    uint32_t code;
    const char* name;
    bool transition;
  } cases[] = {
      {0, "UNKNOWN", false},          {1, "STOPPED", false}, {2, "START/PENDING", true},
      {3, "STOP/PENDING", true},      {4, "RUNNING", false}, {5, "CONTINUE/PENDING", true},
      {6, "PAUSE/PENDING", true},     {7, "PAUSED", true},   {8, "UNKNOWN", false},
      {0xFFFFFFFF, "UNKNOWN", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(ServiceStateName(c.code), c.name);
    EXPECT_EQ(IsTransitionStateName(ServiceStateName(c.code)), c.transition);
  }
  EXPECT_FALSE(IsTransitionStateName("paused"));
}

TEST_F(ServiceAccessTest, InstalledTestIgnoresLetterCaseOfTheDisplayName) {
  manager.Install("Other", "Print Spooler", 4);
  manager.Install(kServerServiceName, "durvin PROOF server", 1);
  EXPECT_TRUE(access.IsServiceInstalled(kServerServiceName));
  EXPECT_FALSE(access.IsServiceInstalled("Durvin Proof"));
  ASSERT_EQ(manager.enumCalls.size(), 2u);
  EXPECT_EQ(manager.enumCalls[0], std::make_pair(ServiceTypes::Win32, ServiceStates::All));
  // Opening uses the name exactly as written, not the registered spelling.
  EXPECT_EQ(access.QueryServiceState("", kServerServiceName), state::kStopped);
  ASSERT_FALSE(manager.openCalls.empty());
  EXPECT_EQ(manager.openCalls.back().name, "Durvin Proof Server");
}

TEST_F(ServiceAccessTest, EnumerationFailureReachesTheCaller) {
  InstallServer(4);
  manager.enumError = OsError{5, "OpenSCManagerA", "Access is denied."};
  EXPECT_THROW(access.IsServiceInstalled(kServerServiceName), SystemError);
  try {
    access.ReadServerSnapshot();
    FAIL() << "no error raised";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 5u);
    EXPECT_STREQ(error.what(), "System Error.  Code: 5.\r\nAccess is denied.");
  }
}

TEST_F(ServiceAccessTest, NotInstalledServerIsNeitherRunningStoppedNorInTransition) {
  manager.Install("Other", "Print Spooler", 4);
  const ServerSnapshot snapshot = access.ReadServerSnapshot();
  EXPECT_FALSE(snapshot.installed);
  EXPECT_FALSE(snapshot.IsServerRunning());
  EXPECT_FALSE(snapshot.IsServerStopped());
  EXPECT_FALSE(snapshot.IsServerInTransition());
  EXPECT_EQ(access.QueryServiceState("", kServerServiceName), 0u);
}

TEST_F(ServiceAccessTest, SnapshotIsOneEnumerationWithoutOpeningTheService) {
  manager.Install("Other", "Print Spooler", 4);
  // Installed by display name in any case; the state is that of the service named as written.
  manager.Install(kServerServiceName, "DURVIN proof server", 4);
  const ServerSnapshot snapshot = access.ReadServerSnapshot();
  EXPECT_TRUE(snapshot.IsServerRunning());
  EXPECT_EQ(manager.enumCalls.size(), 1u);
  EXPECT_TRUE(manager.openCalls.empty());
  EXPECT_EQ(manager.queries, 0);
}

TEST_F(ServiceAccessTest, PredicatesFollowTheState) {
  const struct {
    uint32_t state;
    bool running, stopped, transition;
  } cases[] = {
      {1, false, true, false}, {2, false, false, true},  {3, false, false, true},
      {4, true, false, false}, {5, false, false, true},  {6, false, false, true},
      {7, false, false, true}, {9, false, false, false},
  };
  InstallServer(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    manager.SetState(kServerServiceName, c.state);
    const ServerSnapshot snapshot = access.ReadServerSnapshot();
    EXPECT_EQ(snapshot.IsServerRunning(), c.running);
    EXPECT_EQ(snapshot.IsServerStopped(), c.stopped);
    EXPECT_EQ(snapshot.IsServerInTransition(), c.transition);
  }
}

TEST_F(ServiceAccessTest, FailedStatusQueryReadsAsZero) {
  InstallServer(4).failQuery = true;
  EXPECT_EQ(access.QueryServiceState("", kServerServiceName), 0u);
  EXPECT_FALSE(access.IsServiceRunning("", kServerServiceName));
  manager.Get(kServerServiceName).failQuery = false;
  manager.managerUnavailable = true;
  EXPECT_EQ(access.QueryServiceState("", kServerServiceName), 0u);
}

TEST_F(ServiceAccessTest, EachOperationAsksForItsOwnAccessRights) {
  const struct {
    const char* operation;
    std::function<void(ServiceAccess&)> call;
    ServiceRights rights;
  } cases[] = {
      {"query", [](ServiceAccess& a) { a.QueryServiceState("", kServerServiceName); },
       ServiceRights::QueryStatus},
      {"start", [](ServiceAccess& a) { a.StartServiceAndWait("", kServerServiceName); },
       ServiceRights::Start | ServiceRights::QueryStatus},
      {"stop", [](ServiceAccess& a) { a.StopServiceAndWait("", kServerServiceName); },
       ServiceRights::Stop | ServiceRights::QueryStatus},
  };
  InstallServer(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    manager.openCalls.clear();
    c.call(access);
    ASSERT_EQ(manager.openCalls.size(), 1u);
    EXPECT_EQ(manager.openCalls[0].machine, "");
    EXPECT_EQ(manager.openCalls[0].name, kServerServiceName);
    EXPECT_EQ(manager.openCalls[0].rights, c.rights);
  }
  manager.openCalls.clear();
  access.IsServiceInstalled(kServerServiceName);
  EXPECT_TRUE(manager.openCalls.empty());
}

TEST_F(ServiceAccessTest, StartOfPausedServiceIsRefusedWithoutWaiting) {
  InstallServer(state::kPaused);
  EXPECT_FALSE(access.StartServiceAndWait("", kServerServiceName));
  EXPECT_EQ(manager.startRequests, 1);
  EXPECT_EQ(clock.sleeps(), 0);
}

TEST_F(ServiceAccessTest, StartThatRunsBeforeTheFirstReadReturnsAtOnce) {
  InstallServer(state::kStopped);
  EXPECT_TRUE(access.StartServiceAndWait("", kServerServiceName));
  EXPECT_EQ(clock.sleeps(), 0);
}

TEST_F(ServiceAccessTest, StartStuckInPendingGivesUpAfterNinetyPolls) {
  InstallServer(state::kStopped).afterStart = ServiceStatus{state::kStartPending, 1, 0};
  EXPECT_FALSE(access.StartServiceAndWait("", kServerServiceName));
  EXPECT_EQ(clock.sleeps(), 90);
  EXPECT_EQ(clock.sleptMs(), 270000u);
  EXPECT_EQ(manager.queries, 91);
}

TEST_F(ServiceAccessTest, StartWaitEndsEarly) {
  const struct {
    const char* why;
    std::vector<ServiceStatus> script;
    bool result;
    int sleeps;
  } cases[] = {
      {"exit code while pending", {{2, 1, 0}, {2, 2, 1066}}, false, 1},
      {"checkpoint drops", {{2, 5, 0}, {2, 0, 0}}, false, 1},
      {"growing checkpoint keeps waiting", {{2, 1, 0}, {2, 2, 0}, {2, 2, 0}, {4, 3, 0}}, true, 3},
      {"running with a reset checkpoint", {{2, 4, 0}, {4, 0, 0}}, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    FakeClock localClock;
    ServiceAccess localAccess{manager, localClock};
    auto& server = InstallServer(state::kStopped);
    server.script.assign(c.script.begin(), c.script.end());
    EXPECT_EQ(localAccess.StartServiceAndWait("", kServerServiceName), c.result);
    EXPECT_EQ(localClock.sleeps(), c.sleeps);
  }
}

TEST_F(ServiceAccessTest, StartEndsWhenAStatusReadFailsDuringTheWait) {
  InstallServer(state::kStopped).afterStart = ServiceStatus{state::kStartPending, 1, 0};
  clock.onSleep = [&](uint32_t) { manager.Get(kServerServiceName).failQuery = true; };
  EXPECT_FALSE(access.StartServiceAndWait("", kServerServiceName));
  EXPECT_EQ(clock.sleeps(), 1);
}

TEST_F(ServiceAccessTest, StopStuckInPendingGivesUpAfterThirtyPolls) {
  InstallServer(state::kRunning).afterStop = ServiceStatus{state::kStopPending, 1, 0};
  EXPECT_FALSE(access.StopServiceAndWait("", kServerServiceName));
  EXPECT_EQ(clock.sleeps(), 30);
  EXPECT_EQ(clock.sleptMs(), 90000u);
}

TEST_F(ServiceAccessTest, StopCheckpointDropEndsTheWait) {
  auto& server = InstallServer(state::kRunning);
  server.afterStop = ServiceStatus{state::kStopPending, 5, 0};
  server.script = {{state::kStopPending, 5, 0}, {state::kStopPending, 0, 0}};
  EXPECT_FALSE(access.StopServiceAndWait("", kServerServiceName));
  EXPECT_EQ(clock.sleeps(), 1);

  server.status = {state::kRunning, 0, 0};
  server.script = {{state::kStopPending, 5, 0}, {state::kStopped, 0, 0}};
  EXPECT_TRUE(access.StopServiceAndWait("", kServerServiceName));
  EXPECT_EQ(clock.sleeps(), 2);
}

TEST_F(ServiceAccessTest, RefusedStopReturnsAtOnce) {
  InstallServer(state::kStopped);
  EXPECT_FALSE(access.StopServiceAndWait("", kServerServiceName));
  EXPECT_EQ(manager.stopRequests, 1);
  EXPECT_EQ(manager.queries, 0);
  EXPECT_EQ(clock.sleeps(), 0);
}

}  // namespace
}  // namespace dpc
