#include "shell/notifications.h"

#include <gtest/gtest.h>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

TEST(WordNotice, SaysWhyWithTheSystemsTextOrTheServicesOwnCode) {
  test::FakeProcessInfo process;
  process.errorTexts[1058] = "The service cannot be started because it is disabled.\r\n";
  process.errorTexts[1067] = "The process terminated\r\nunexpectedly.";
  using Kind = Notice::Kind;
  auto ended = [](uint32_t state, uint32_t exitCode, uint32_t own = 0) {
    return ServiceWaitResult{false, 0, {state, 0, exitCode, own}};
  };
  constexpr auto kWarning = BalloonIcon::Warning;
  const struct {
    Notice notice;
    const char* text;
    BalloonIcon icon;
  } cases[] = {
      {{Kind::StoppedUnexpectedly, ended(state::kStopped, 1066, 3)},
       "The service ended with service-specific error 3.",
       kWarning},
      {{Kind::StoppedUnexpectedly, ended(state::kStopped, 1067)},
       "Error 1067: The process terminated unexpectedly.",
       kWarning},
      {{Kind::StoppedUnexpectedly, ended(state::kStopped, 0)},
       "The service reported no error code.",
       kWarning},
      {{Kind::StoppedUnexpectedly, ended(state::kStopped, 4321)}, "Error 4321.", kWarning},
      {{Kind::Stopped, ended(state::kStopped, 0)},
       "The service was stopped outside this controller and reported no error.",
       BalloonIcon::Info},
      {{Kind::RunningAgain, {}},
       "The service was started again after its unexpected stop.",
       BalloonIcon::Info},
      {{Kind::CouldNotStart, {false, 1058, {}}},
       "Error 1058: The service cannot be started because it is disabled.",
       kWarning},
      {{Kind::CouldNotStart, ended(state::kStartPending, 1066, 3)},
       "The service ended with service-specific error 3.",
       kWarning},
      {{Kind::CouldNotStart, ended(state::kStopped, 0)},
       "The service stopped while it was starting.",
       kWarning},
      {{Kind::CouldNotStart, ended(state::kStartPending, 0)},
       "The service did not finish starting.",
       kWarning},
      {{Kind::CouldNotStop, {false, 5, {}}}, "Error 5.", kWarning},
      {{Kind::CouldNotStop, ended(state::kStopPending, 0)},
       "The service did not finish stopping.",
       kWarning},
  };
  const Translator english;
  for (const auto& c : cases) {
    const BalloonText balloon = WordNotice(c.notice, english, process);
    EXPECT_EQ(balloon.text, c.text);
    EXPECT_EQ(balloon.icon, c.icon) << c.text;
  }
}

}  // namespace
}  // namespace dpc
