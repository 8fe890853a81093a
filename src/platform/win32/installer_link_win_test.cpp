// The close signal's two sides against Wine's object namespace and registry. Wine gives every
// process every right, so who may make what is proved through the fakes; this proves the calls.
#include "platform/win32/installer_link_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace dpc::win32 {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Durvin\\Proof Control Test";

// What the controller's side reads once Windows has told it of the change, within a second.
std::string PublishedSoon(InstallerLinkWin& link, const std::string& expected) {
  std::string name;
  for (int i = 0; i < 100 && (name = link.PublishedCloseSignal()) != expected; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return name;
}

TEST(InstallerLinkWin, PublishesAFreshNameOwnedByAdministratorsPassingOverOneTakenFirst) {
  HKEY key = nullptr;
  ASSERT_EQ(
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  ::RegCloseKey(key);
  InstallerLinkWin link(kKey);
  EXPECT_EQ(link.PublishedCloseSignal(), "");

  // Made first by another program, with default security: under Wine it has no owner.
  ScopedKernelHandle taken(::CreateEventW(nullptr, TRUE, TRUE, L"Global\\DpcTestTakenFirst"));
  ASSERT_TRUE(taken);
  int names = 0;
  const ScopedKernelHandle signal = RaiseCloseSignal(
      [&] { return ++names == 1 ? L"Global\\DpcTestTakenFirst" : L"Global\\DpcTestFresh"; }, kKey);
  ASSERT_TRUE(signal) << ::GetLastError();
  EXPECT_EQ(PublishedSoon(link, "Global\\DpcTestFresh"), "Global\\DpcTestFresh");
  const OsResult<CloseSignalState> fresh = link.ReadCloseSignal("Global\\DpcTestFresh");
  ASSERT_TRUE(fresh);
  EXPECT_TRUE(fresh->raised);
  EXPECT_EQ(fresh->ownerSid, "S-1-5-32-544");
  const OsResult<CloseSignalState> other = link.ReadCloseSignal("Global\\DpcTestTakenFirst");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->ownerSid, "");
  EXPECT_EQ(link.ReadCloseSignal("Global\\DpcTestNone").error().code, 2u);

  WithdrawCloseSignal(kKey);
  EXPECT_EQ(PublishedSoon(link, ""), "");
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);

  const std::wstring one = FreshCloseSignalName(), two = FreshCloseSignalName();
  EXPECT_EQ(one.rfind(L"Global\\DurvinProofControl.Close.", 0), 0u);
  EXPECT_EQ(one.size(), two.size());
  EXPECT_NE(one, two);
}

}  // namespace
}  // namespace dpc::win32
