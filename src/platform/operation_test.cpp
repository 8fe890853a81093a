#include "platform/operation.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "fakes/fake_host_window.h"

namespace dpc {
namespace {

// Steps as its test says; counts what the host asked of it.
class ScriptedOperation final : public Operation {
 public:
  explicit ScriptedOperation(std::function<Progress(int step)> script)
      : script_(std::move(script)) {}
  Progress Step() override { return script_(++steps); }
  void Cancel() override { ++cancels; }
  uint32_t StepIntervalMs() const override { return 250; }

  int steps = 0;
  int cancels = 0;

 private:
  std::function<Progress(int)> script_;
};

using Progress = Operation::Progress;

// What a step may meet inside itself (a message box's own loop): the timer or a wake-up asking
// for the next step, or the end of the session cancelling.
TEST(OperationHost, AStepNeverRunsInsideAnotherAndEndsWhatWasCancelledMeanwhile) {
  enum class Inside { kNothing, kStep, kCancel };
  const struct {
    const char* name;
    Inside inside;
    int stepsRun;
    bool endedByTheStep;
  } cases[] = {
      {"a plain step", Inside::kNothing, 1, false},
      {"a step asked for inside", Inside::kStep, 1, false},
      {"cancelled inside", Inside::kCancel, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeHostWindow window;
    OperationHost host(window);
    ScriptedOperation* operation = nullptr;
    auto owned = std::make_unique<ScriptedOperation>([&](int) {
      if (c.inside == Inside::kStep) {
        EXPECT_EQ(host.Step(), nullptr);
      } else if (c.inside == Inside::kCancel) {
        EXPECT_EQ(host.Cancel(), nullptr) << "still stepping";
      }
      return Progress::kRunning;
    });
    operation = owned.get();
    ASSERT_TRUE(host.Start(std::move(owned)));
    EXPECT_EQ(window.wakes, 1) << "the first step comes at once";
    EXPECT_TRUE(window.TimerEnabled(TimerId::Operation));
    EXPECT_EQ(window.TimerInterval(TimerId::Operation), 250u);
    EXPECT_FALSE(host.Start(std::make_unique<ScriptedOperation>(nullptr))) << "one at a time";

    const std::unique_ptr<Operation> ended = host.Step();
    EXPECT_EQ(operation->steps, c.stepsRun);
    EXPECT_EQ(ended != nullptr, c.endedByTheStep);
    EXPECT_EQ(host.running(), !c.endedByTheStep);
    EXPECT_EQ(window.TimerEnabled(TimerId::Operation), !c.endedByTheStep);
  }
}

TEST(OperationHost, AFailedStepEndsItsOperation) {
  test::FakeHostWindow window;
  OperationHost host(window);
  ASSERT_TRUE(host.Start(std::make_unique<ScriptedOperation>(
      [](int) -> Progress { throw std::runtime_error("out of memory"); })));
  EXPECT_THROW(host.Step(), std::runtime_error);
  EXPECT_FALSE(host.running());
  EXPECT_FALSE(window.TimerEnabled(TimerId::Operation));
  EXPECT_TRUE(host.Start(std::make_unique<ScriptedOperation>(
      [](int step) { return step < 2 ? Progress::kRunning : Progress::kDone; })));
  EXPECT_EQ(host.Step(), nullptr);
  EXPECT_NE(host.Step(), nullptr);
}

}  // namespace
}  // namespace dpc
