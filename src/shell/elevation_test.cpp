#include "shell/elevation.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

TEST(Elevation, OnlyMajorVersionSixAndHighIntegrityCount) {
  test::FakeProcessInfo process;
  for (uint32_t major : {5u, 6u, 10u}) {
    process.majorVersion = major;
    EXPECT_EQ(IsUacPlatform(process), major == 6) << major;
  }
  for (uint32_t rid : {0u, 0x1000u, 0x2000u, 0x3000u, 0x4000u}) {
    process.integrityRid = rid;
    EXPECT_EQ(IsProcessElevated(process), rid == 0x3000) << rid;
  }
}

TEST(Elevation, DispatchRunsTableCodesForTheExactWordOnly) {
  for (int code = 0; code <= 12; ++code) {
    int ran = 0;
    DispatchElevatedAction({"elevation", std::to_string(code)}, Translator{}, [&](int c) { ran = c; });
    const bool inTable = (code >= 1 && code <= 7) || code == 10 || code == 11;
    EXPECT_EQ(ran, inTable ? code : 0) << code;
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"Elevation", "4"}, {"ELEVATION", "4"}, {"elevation4"}}) {
    EXPECT_FALSE(HasElevationArgument(args));
    DispatchElevatedAction(args, Translator{}, [](int) { ADD_FAILURE(); });
  }
}

TEST(Elevation, NonIntegerCodeIsReportedWithItsText) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"elevation", "four"}, "'four' is not a valid integer value"},
      {{"elevation", "4.0"}, "'4.0' is not a valid integer value"},
      {{"elevation"}, "'' is not a valid integer value"},
  };
  for (const auto& [args, message] : cases) {
    try {
      DispatchElevatedAction(args, Translator{}, [](int) { ADD_FAILURE(); });
      ADD_FAILURE() << "no error for " << message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

// Records how often the guard had been released when the shell was asked.
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
  int closes = 0, actions = 0;
  ElevationGate gate{process, shell, guard, [this] { ++closes; }};
  ElevationGate::Outcome Pass(int code) {
    return gate.Pass(code, [this] { ++actions; });
  }
};

TEST(ElevationGate, RelaunchesActsOrIgnoresByPlatformAndFlags) {
  using O = ElevationGate::Outcome;
  struct Case {
    uint32_t major;
    bool elevated, requested;
    O outcome;
  };
  const Case cases[] = {
      {6, false, false, O::Relaunched}, {6, true, false, O::Acted},  {6, false, true, O::Ignored},
      {5, false, false, O::Acted},      {10, false, true, O::Acted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << " " << c.elevated << " " << c.requested);
    GateRig rig;
    rig.process.majorVersion = c.major;
    rig.gate.IsElevated = c.elevated;
    rig.gate.RelaunchRequested = c.requested;
    EXPECT_EQ(rig.Pass(action::kServerStop), c.outcome);
    const int relaunched = c.outcome == O::Relaunched ? 1 : 0;
    EXPECT_EQ(rig.actions, c.outcome == O::Acted ? 1 : 0);
    EXPECT_EQ(rig.closes, relaunched);
    EXPECT_EQ(rig.shell.executeEx.size(), static_cast<size_t>(relaunched));
    EXPECT_EQ(rig.gate.RelaunchRequested, c.requested || relaunched);
  }
}

TEST(ElevationGate, RelaunchAsksForRunasAfterReleasingTheGuard) {
  GateRig rig;
  rig.process.exePath = "C:\\Durvin\\Control.exe";
  rig.Pass(action::kMaintenance);
  ASSERT_EQ(rig.shell.executeEx.size(), 1u);
  const auto& r = rig.shell.executeEx[0];
  EXPECT_EQ(r.mask, 0x500u);
  EXPECT_EQ(r.owner, kNoWindow);
  EXPECT_EQ(r.verb, "runas");
  EXPECT_EQ(r.file, "C:\\Durvin\\Control.exe");
  EXPECT_EQ(r.parameters, "elevation 11");
  EXPECT_EQ(r.directory, "");
  EXPECT_EQ(r.show, 1);
  EXPECT_EQ(rig.shell.releasesAtCall, std::vector<int>{1});
}

TEST(ElevationGate, DeclinedRelaunchStartsAPlainControllerAndBothFailingKeepsTheProcess) {
  GateRig declined;
  declined.shell.executeExResults = {OsError{1223, "ShellExecuteExW", "Canceled."}};
  EXPECT_EQ(declined.Pass(action::kServerStop), ElevationGate::Outcome::Relaunched);
  ASSERT_EQ(declined.shell.executeEx.size(), 2u);
  EXPECT_EQ(declined.shell.executeEx[1].verb, "");
  EXPECT_EQ(declined.shell.executeEx[1].parameters, "");
  EXPECT_EQ(declined.closes, 1);

  GateRig failing;
  failing.shell.executeExResults = {OsError{1223, "ShellExecuteExW", "Canceled."},
                                    OsError{5, "ShellExecuteExW", "Access is denied."}};
  try {
    failing.Pass(action::kServerStart);
    ADD_FAILURE() << "no error";
  } catch (const SystemError& e) {
    EXPECT_EQ(std::string(e.what()), "System Error.  Code: 5.\r\nAccess is denied.");
  }
  EXPECT_TRUE(failing.gate.RelaunchRequested);
  EXPECT_EQ(failing.closes, 0);
  EXPECT_EQ(failing.Pass(action::kServerStart), ElevationGate::Outcome::Ignored);
  EXPECT_EQ(failing.shell.executeEx.size(), 2u);
  EXPECT_EQ(failing.actions, 0);
}

}  // namespace
}  // namespace dpc
