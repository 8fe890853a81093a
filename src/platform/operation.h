#pragma once

#include <cstdint>
#include <memory>

#include "platform/host_window.h"

namespace dpc {

// Long work the user-interface thread carries on between its messages: each step does a little
// and returns. The window steps it again when its interval has passed, or at once when a worker
// wakes it (HostWindow::Wake).
class Operation {
 public:
  enum class Progress { kRunning, kDone };
  virtual ~Operation() = default;
  virtual Progress Step() = 0;
  // Ends the work at its next safe point and cleans up before it returns (Windows may end the
  // process as soon as the end of the session has been told). Step is not called again.
  virtual void Cancel() = 0;
  // How long the window waits before the next step when no worker wakes it first.
  virtual uint32_t StepIntervalMs() const = 0;
};

// The one operation running, and the guard that keeps a step from running inside another: the
// modal loops a step may open (a message box) dispatch the timer and the wake-ups too.
class OperationHost {
 public:
  explicit OperationHost(HostWindow& window) : window_(window) {}

  // Starts stepping it; false, and nothing started, when another runs.
  [[nodiscard]] bool Start(std::unique_ptr<Operation> operation);
  bool running() const { return operation_ != nullptr; }
  // For an operation's workers: their news steps it at once.
  Waker& waker() const { return window_.waker(); }
  // What runs, when it is of that kind.
  template <typename Kind>
  Kind* As() const {
    return dynamic_cast<Kind*>(operation_.get());
  }
  // The timer or a wake-up: the next step. The operation comes back once it has finished.
  std::unique_ptr<Operation> Step();
  // Cancels what runs and cleans it up; it comes back. Within a step, the step ends it.
  std::unique_ptr<Operation> Cancel();

 private:
  std::unique_ptr<Operation> Finish();

  HostWindow& window_;
  std::unique_ptr<Operation> operation_;
  bool stepping_ = false;
  bool cancelled_ = false;
};

}  // namespace dpc
