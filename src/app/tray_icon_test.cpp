#include "app/tray_icon.h"

#include <gtest/gtest.h>

#include <string>

namespace dpc::app {
namespace {

TEST(FitTrayTip, CutsToTheNotificationAreaLimitWithoutSplittingACharacter) {
  const std::wstring hundred(100, L'a');
  const std::wstring limit(kTrayTipLimit, L'b');
  // U+1F5A8 (printer) is a surrogate pair; placed so its high half is unit 127.
  const std::wstring straddling = std::wstring(kTrayTipLimit - 1, L'c') + L"\xD83D\xDDA8" + L"d";
  const std::wstring pairInside = std::wstring(kTrayTipLimit - 2, L'e') + L"\xD83D\xDDA8" + L"f";

  struct Case {
    const char* name;
    std::wstring hint;
    std::wstring expected;
  } cases[] = {
      {"short hint unchanged", L"Durvin Proof 5.0", L"Durvin Proof 5.0"},
      {"empty hint", L"", L""},
      {"exactly at the limit", limit, limit},
      {"one over the limit", limit + L"x", limit},
      {"far over the limit", hundred + hundred, (hundred + hundred).substr(0, kTrayTipLimit)},
      {"pair across the limit is dropped whole", straddling, straddling.substr(0, 126)},
      {"pair ending at the limit is kept", pairInside, pairInside.substr(0, kTrayTipLimit)},
      {"embedded NUL ends the hint", std::wstring(L"Durvin\0hidden", 13), L"Durvin"},
  };
  for (const Case& c : cases) {
    const std::wstring fitted = FitTrayTip(c.hint);
    EXPECT_EQ(fitted, c.expected) << c.name;
    EXPECT_LE(fitted.size(), kTrayTipLimit) << c.name;
  }
}

}  // namespace
}  // namespace dpc::app
