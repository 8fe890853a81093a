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
  auto stopped = [](uint32_t exitCode, uint32_t own = 0) {
    return ServiceWaitResult{false, 0, {state::kStopped, 0, exitCode, own}};
  };
  const struct {
    Notice notice;
    const char* title;
    const char* text;
    BalloonIcon icon;
  } cases[] = {
      {{Kind::StoppedUnexpectedly, stopped(1066, 3)},
       "Durvin Proof Server stopped unexpectedly",
       "The service ended with service-specific error 3.",
       BalloonIcon::Warning},
      {{Kind::StoppedUnexpectedly, stopped(1067)},
       "Durvin Proof Server stopped unexpectedly",
       "Error 1067: The process terminated unexpectedly.",
       BalloonIcon::Warning},
      {{Kind::StoppedUnexpectedly, stopped(0)},
       "Durvin Proof Server stopped unexpectedly",
       "The service reported no error code.",
       BalloonIcon::Warning},
      {{Kind::StoppedUnexpectedly, stopped(4321)},
       "Durvin Proof Server stopped unexpectedly",
       "Error 4321.",
       BalloonIcon::Warning},
      {{Kind::RunningAgain, {}},
       "Durvin Proof Server is running again",
       "The service was started again after its unexpected stop.",
       BalloonIcon::Info},
      {{Kind::CouldNotStart, {false, 1058, {}}},
       "Durvin Proof Server could not be started",
       "Error 1058: The service cannot be started because it is disabled.",
       BalloonIcon::Warning},
      {{Kind::CouldNotStart, {false, 0, {state::kStartPending, 2, 1066, 3}}},
       "Durvin Proof Server could not be started",
       "The service ended with service-specific error 3.",
       BalloonIcon::Warning},
      {{Kind::CouldNotStart, stopped(0)},
       "Durvin Proof Server could not be started",
       "The service stopped while it was starting.",
       BalloonIcon::Warning},
      {{Kind::CouldNotStart, {false, 0, {state::kStartPending, 9, 0, 0}}},
       "Durvin Proof Server could not be started",
       "The service did not finish starting.",
       BalloonIcon::Warning},
      {{Kind::CouldNotStop, {false, 5, {}}},
       "Durvin Proof Server could not be stopped",
       "Error 5.",
       BalloonIcon::Warning},
      {{Kind::CouldNotStop, {false, 0, {state::kStopPending, 4, 0, 0}}},
       "Durvin Proof Server could not be stopped",
       "The service did not finish stopping.",
       BalloonIcon::Warning},
  };
  const Translator english;
  for (const auto& c : cases) {
    const BalloonText balloon = WordNotice(c.notice, english, process);
    EXPECT_EQ(balloon.title, c.title);
    EXPECT_EQ(balloon.text, c.text) << c.title;
    EXPECT_EQ(balloon.icon, c.icon) << c.text;
  }
}

}  // namespace
}  // namespace dpc
