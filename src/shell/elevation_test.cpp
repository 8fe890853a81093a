#include "shell/elevation.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

using Args = std::vector<std::string>;

TEST(Elevation, OnlyMajorVersionSixAsksForConsent) {
  test::FakeProcessInfo process;
  for (uint32_t major : {5u, 6u, 10u}) {
    process.majorVersion = major;
    EXPECT_EQ(IsUacPlatform(process), major == 6) << major;
  }
}

TEST(Elevation, OnlyHighIntegrityCountsAsElevated) {
  test::FakeProcessInfo process;
  for (uint32_t rid : {0u, 0x1000u, 0x2000u, 0x3000u, 0x3100u, 0x4000u}) {
    process.integrityRid = rid;
    EXPECT_EQ(IsProcessElevated(process), rid == 0x3000) << rid;
  }
}

TEST(Elevation, CommandLineNeedsTheExactWordAndADecimalCode) {
  EXPECT_EQ(ElevatedActionCode({"elevation", "4"}), 4);
  EXPECT_EQ(ElevatedActionCode({"elevation", "11", "more"}), 11);
  EXPECT_EQ(ElevatedActionCode({}), std::nullopt);
  EXPECT_EQ(ElevatedActionCode({"Elevation", "4"}), std::nullopt);
  EXPECT_EQ(ElevatedActionCode({"ELEVATION", "4"}), std::nullopt);
  EXPECT_EQ(ElevatedActionCode({"elevation4"}), std::nullopt);
  EXPECT_FALSE(HasElevationArgument({"Elevation", "4"}));
  EXPECT_TRUE(HasElevationArgument({"elevation", "x"}));
}

TEST(Elevation, NonIntegerCodeIsReportedWithItsText) {
  const std::pair<Args, std::string> cases[] = {
      {{"elevation", "four"}, "'four' is not a valid integer value"},
      {{"elevation", "4.0"}, "'4.0' is not a valid integer value"},
      {{"elevation"}, "'' is not a valid integer value"},
  };
  for (const auto& [args, message] : cases) {
    bool ran = false;
    try {
      DispatchElevatedAction(args, [&](int) { ran = true; });
      ADD_FAILURE() << "no error for " << message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), message);
    }
    EXPECT_FALSE(ran);
  }
}

TEST(Elevation, DispatchRunsOnlyTheTableCodes) {
  for (int code = -1; code <= 13; ++code) {
    int ran = 0;
    DispatchElevatedAction({"elevation", std::to_string(code)}, [&](int c) { ran = c; });
    const bool inTable = (code >= 1 && code <= 7) || code == 10 || code == 11;
    EXPECT_EQ(ran, inTable ? code : 0) << code;
  }
  int ran = 0;
  DispatchElevatedAction({"other", "4"}, [&](int c) { ran = c; });
  EXPECT_EQ(ran, 0);
}

TEST(Elevation, RelaunchAsksForRunasWithTheCode) {
  test::FakeShell shell;
  RelaunchElevated(shell, "C:\\Durvin\\Control.exe", 11);
  ASSERT_EQ(shell.executeEx.size(), 1u);
  const auto& r = shell.executeEx[0];
  EXPECT_EQ(r.mask, 0x500u);
  EXPECT_EQ(r.owner, kNoWindow);
  EXPECT_EQ(r.verb, "runas");
  EXPECT_EQ(r.file, "C:\\Durvin\\Control.exe");
  EXPECT_EQ(r.parameters, "elevation 11");
  EXPECT_EQ(r.directory, "");
  EXPECT_EQ(r.show, 1);
}

TEST(Elevation, DeclinedRelaunchStartsAPlainControllerAndBothFailingThrows) {
  test::FakeShell shell;
  shell.executeExResults = {OsError{1223, "ShellExecuteExW", "The operation was canceled."}};
  RelaunchElevated(shell, "C:\\Durvin\\Control.exe", 4);
  ASSERT_EQ(shell.executeEx.size(), 2u);
  EXPECT_EQ(shell.executeEx[1].verb, "");
  EXPECT_EQ(shell.executeEx[1].parameters, "");
  EXPECT_EQ(shell.executeEx[1].file, "C:\\Durvin\\Control.exe");

  test::FakeShell failing;
  failing.executeExResults = {OsError{1223, "ShellExecuteExW", "The operation was canceled."},
                              OsError{2, "ShellExecuteExW", "The system cannot find the file."}};
  try {
    RelaunchElevated(failing, "C:\\Durvin\\Control.exe", 4);
    ADD_FAILURE() << "no error";
  } catch (const SystemError& e) {
    EXPECT_EQ(e.code(), 2u);
    EXPECT_EQ(std::string(e.what()), "System Error.  Code: 2.\r\nThe system cannot find the file.");
  }
}

// Records how many times the guard had been released when the shell was asked.
class GuardWatchingShell : public test::FakeShell {
 public:
  explicit GuardWatchingShell(test::FakeInstanceGuard& guard) : guard_(guard) {}
  std::optional<OsError> ExecuteEx(const ShellExecuteRequest& request) override {
    releasesAtCall.push_back(guard_.releases);
    return FakeShell::ExecuteEx(request);
  }
  std::vector<int> releasesAtCall;

 private:
  test::FakeInstanceGuard& guard_;
};

struct GateRig {
  test::FakeProcessInfo process;
  test::FakeInstanceGuard guard;
  GuardWatchingShell shell{guard};
  int closes = 0;
  int actions = 0;
  ElevationGate gate{process, shell, guard, [this] { ++closes; }};
  ElevationGate::Outcome Pass(int code) {
    return gate.Pass(code, [this] { ++actions; });
  }
};

TEST(ElevationGate, RelaunchesActsOrIgnoresByPlatformAndFlags) {
  using O = ElevationGate::Outcome;
  struct Case {
    uint32_t major;
    bool elevated;
    bool requested;
    O outcome;
  };
  const Case cases[] = {
      {6, false, false, O::Relaunched}, {6, true, false, O::Acted},  {6, true, true, O::Acted},
      {6, false, true, O::Ignored},     {5, false, false, O::Acted}, {10, false, true, O::Acted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << " " << c.elevated << " " << c.requested);
    GateRig rig;
    rig.process.majorVersion = c.major;
    rig.gate.IsElevated = c.elevated;
    rig.gate.RelaunchRequested = c.requested;
    EXPECT_EQ(rig.Pass(action::kServerStop), c.outcome);
    const bool relaunched = c.outcome == O::Relaunched;
    EXPECT_EQ(rig.actions, c.outcome == O::Acted ? 1 : 0);
    EXPECT_EQ(rig.closes, relaunched ? 1 : 0);
    EXPECT_EQ(rig.guard.releases, relaunched ? 1 : 0);
    EXPECT_EQ(rig.shell.executeEx.size(), relaunched ? 1u : 0u);
    EXPECT_EQ(rig.gate.RelaunchRequested, c.requested || relaunched);
  }
}

TEST(ElevationGate, ReleasesTheInstanceGuardBeforeTheShellCall) {
  GateRig rig;
  rig.Pass(action::kServerRestart);
  ASSERT_EQ(rig.shell.releasesAtCall.size(), 1u);
  EXPECT_EQ(rig.shell.releasesAtCall[0], 1);
  EXPECT_EQ(rig.shell.executeEx[0].parameters, "elevation 6");
}

TEST(ElevationGate, FailedRelaunchKeepsTheProcessAndIgnoresLaterChoices) {
  GateRig rig;
  rig.shell.executeExResults = {OsError{1223, "ShellExecuteExW", "Canceled."},
                                OsError{5, "ShellExecuteExW", "Access is denied."}};
  EXPECT_THROW(rig.Pass(action::kServerStart), SystemError);
  EXPECT_TRUE(rig.gate.RelaunchRequested);
  EXPECT_EQ(rig.closes, 0);

  EXPECT_EQ(rig.Pass(action::kServerStart), ElevationGate::Outcome::Ignored);
  EXPECT_EQ(rig.shell.executeEx.size(), 2u);
  EXPECT_EQ(rig.actions, 0);
}

}  // namespace
}  // namespace dpc
