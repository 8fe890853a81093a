#include "platform/operation.h"

#include <utility>

#include "platform/scope_exit.h"

namespace dpc {

bool OperationHost::Start(std::unique_ptr<Operation> operation) {
  if (operation_ || !operation) return false;
  operation_ = std::move(operation);
  cancelled_ = false;
  // A timer the system cannot start leaves the wake-ups: the operation still ends.
  (void)window_.SetTimerInterval(TimerId::Operation, operation_->StepIntervalMs());
  (void)window_.SetTimerEnabled(TimerId::Operation, true);
  // The first step comes at once.
  window_.waker().Wake();
  return true;
}

std::unique_ptr<Operation> OperationHost::Step() {
  if (!operation_ || stepping_) return nullptr;
  Operation::Progress progress = Operation::Progress::kDone;
  {
    stepping_ = true;
    const ScopeExit stepped([this] { stepping_ = false; });
    try {
      progress = operation_->Step();
    } catch (...) {
      // A failed step ends its operation; the failure goes on to be shown.
      (void)Finish();
      throw;
    }
  }
  if (progress == Operation::Progress::kRunning && !cancelled_) return nullptr;
  return Finish();
}

std::unique_ptr<Operation> OperationHost::Cancel() {
  if (!operation_ || cancelled_) return nullptr;
  cancelled_ = true;
  operation_->Cancel();
  // The step in hand still uses it; it finishes the operation when it returns.
  if (stepping_) return nullptr;
  return Finish();
}

std::unique_ptr<Operation> OperationHost::Finish() {
  (void)window_.SetTimerEnabled(TimerId::Operation, false);
  return std::exchange(operation_, nullptr);
}

}  // namespace dpc
