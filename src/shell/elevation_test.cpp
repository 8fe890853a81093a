#include "shell/elevation.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

TEST(Elevation, OnlyMajorVersionSixAndHighIntegrityCount) {
  test::FakeProcessInfo process;
  for (uint32_t major : {0u, 5u, 6u, 10u}) {
    process.majorVersion = major;
    EXPECT_EQ(IsUacPlatform(process), major == 6) << major;
  }
  for (uint32_t rid : {0u, 0x1000u, 0x2000u, 0x3000u, 0x4000u}) {
    process.integrityRid = rid;
    EXPECT_EQ(IsProcessElevated(process), rid == 0x3000) << rid;
  }
}

TEST(Elevation, ActionCodeComesOnlyAfterTheExactWordAndMustBeAWholeNumber) {
  const Translator english;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"Elevation", "4"}, {"ELEVATION", "4"}, {"elevation4"}}) {
    EXPECT_FALSE(HasElevationArgument(args));
    EXPECT_EQ(ElevatedActionCode(args, english), std::nullopt);
  }
  EXPECT_EQ(ElevatedActionCode({"elevation", "12"}, english), 12);
  const std::pair<std::vector<std::string>, std::string> invalid[] = {
      {{"elevation", "four"}, "'four' is not a valid integer value"},
      {{"elevation", "4.0"}, "'4.0' is not a valid integer value"},
      {{"elevation"}, "'' is not a valid integer value"},
  };
  for (const auto& [args, message] : invalid) {
    try {
      ElevatedActionCode(args, english);
      ADD_FAILURE() << "no error for " << message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

TEST(ElevationGate, DecidesByPlatformAndFlagsAndRelaunchesOnlyOnce) {
  using D = ElevationGate::Decision;
  struct Case {
    uint32_t major;
    bool elevated;
    D first, second;
  };
  const Case cases[] = {
      {6, false, D::Relaunch, D::Ignore},
      {6, true, D::Act, D::Act},
      {5, false, D::Act, D::Act},
      {10, false, D::Act, D::Act},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << " " << c.elevated);
    test::FakeProcessInfo process;
    process.majorVersion = c.major;
    ElevationGate gate(process);
    gate.SetElevated(c.elevated);
    EXPECT_EQ(gate.Decide(), c.first);
    EXPECT_EQ(gate.RelaunchRequested(), c.first == D::Relaunch);
    EXPECT_EQ(gate.Decide(), c.second);
  }
}

TEST(RelaunchElevated, AsksForRunasThenAPlainControllerThenReportsTheError) {
  test::FakeShell accepted;
  RelaunchElevated(accepted, "C:\\Durvin\\Control.exe", 11);
  ASSERT_EQ(accepted.executeEx.size(), 1u);
  const auto& r = accepted.executeEx[0];
  EXPECT_EQ(r.flags, ExecuteFlags::WaitForDde | ExecuteFlags::NoErrorUi);
  EXPECT_EQ(r.owner, kNoWindow);
  EXPECT_EQ(r.verb, "runas");
  EXPECT_EQ(r.file, "C:\\Durvin\\Control.exe");
  EXPECT_EQ(r.parameters, "elevation 11");
  EXPECT_EQ(r.directory, "C:\\Durvin\\");
  EXPECT_EQ(r.show, ShowMode::Normal);

  test::FakeShell declined;
  declined.executeExResults = {OsError{1223, "ShellExecuteExW", "Canceled."}};
  RelaunchElevated(declined, "C:\\Durvin\\Control.exe", 4);
  ASSERT_EQ(declined.executeEx.size(), 2u);
  EXPECT_EQ(declined.executeEx[1].verb, "");
  EXPECT_EQ(declined.executeEx[1].parameters, "");

  test::FakeShell failing;
  failing.executeExResults = {OsError{1223, "ShellExecuteExW", "Canceled."},
                              OsError{5, "ShellExecuteExW", "Access is denied."}};
  try {
    RelaunchElevated(failing, "C:\\Durvin\\Control.exe", 5);
    ADD_FAILURE() << "no error";
  } catch (const SystemError& e) {
    EXPECT_EQ(std::string(e.what()), "System Error.  Code: 5.\r\nAccess is denied.");
  }
}

}  // namespace
}  // namespace dpc
