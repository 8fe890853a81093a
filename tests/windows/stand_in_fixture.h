#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>

#include "controller_process.h"
#include "stand_in_control.h"

namespace dpc::standin {

// Names a behaviour in GoogleTest's test names and failure messages.
inline void PrintTo(Behaviour behaviour, std::ostream* out) {
  for (const wchar_t* c = BehaviourName(behaviour); *c; ++c) *out << static_cast<char>(*c);
}

}  // namespace dpc::standin

namespace dpc::e2e {

// Every test starts from a freshly created, stopped "Durvin Proof Server" (the stand-in,
// behaving normally), whatever the test before left behind: tests never depend on each other's
// service state.
class StandInServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(InstallServer(standin::Behaviour::kNormal)); }

  // Recreates the service with the given behaviour; when `running`, starts it and waits for
  // RUNNING.
  static void InstallServer(standin::Behaviour behaviour, bool running = false) {
    ASSERT_EQ(standin::Install(StandInExecutable(), behaviour), DWORD{ERROR_SUCCESS})
        << "stand-in " << std::string(StandInExecutable().begin(), StandInExecutable().end());
    ASSERT_EQ(State(), DWORD{SERVICE_STOPPED});
    if (running) {
      ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
      ASSERT_TRUE(standin::WaitForState(SERVICE_RUNNING, std::chrono::seconds(10)));
    }
  }

  // The current state code, 0 when it cannot be read.
  static DWORD State() {
    const auto status = standin::Query();
    return status ? status->dwCurrentState : 0;
  }
};

}  // namespace dpc::e2e
