#include "platform/win32/instance_guard_win.h"

#include <gtest/gtest.h>

#include <string>

namespace dpc::win32 {
namespace {

// A name of this test run only, so a controller running on the same desktop is not disturbed.
std::wstring TestName(const char* tag) {
  return L"Durvin_Proof_Control_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::wstring(tag, tag + std::char_traits<char>::length(tag));
}

TEST(InstanceGuardWin, FirstHoldsSecondSeesAnotherControllerUntilAllReleased) {
  const std::wstring name = TestName("sequence");
  InstanceGuardWin first(name);
  EXPECT_EQ(first.outcome(), InstanceGuardWin::Outcome::kHeld);
  EXPECT_FALSE(first.AnotherControllerRuns());

  // A relaunched controller finds it taken yet keeps a handle, so the guard outlives the copy
  // that started it.
  InstanceGuardWin relaunched(name);
  EXPECT_TRUE(relaunched.AnotherControllerRuns());
  EXPECT_TRUE(relaunched.holding());

  EXPECT_TRUE(first.Release());
  EXPECT_TRUE(first.Release());  // idempotent
  EXPECT_FALSE(first.holding());
  EXPECT_TRUE(InstanceGuardWin(name).AnotherControllerRuns());

  EXPECT_TRUE(relaunched.Release());
  EXPECT_EQ(InstanceGuardWin(name).outcome(), InstanceGuardWin::Outcome::kHeld);
}

TEST(InstanceGuardWin, AnUnusableNameDoesNotCountAsAnotherController) {
  // Backslashes outside a known namespace prefix make the name invalid: the controller must
  // still start rather than end as if another one ran.
  InstanceGuardWin guard(L"No\\Such\\Namespace\\" + TestName("invalid"));
  EXPECT_EQ(guard.outcome(), InstanceGuardWin::Outcome::kUnavailable);
  EXPECT_FALSE(guard.AnotherControllerRuns());
}

}  // namespace
}  // namespace dpc::win32
