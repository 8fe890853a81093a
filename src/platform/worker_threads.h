#pragma once

#include <functional>

#include "platform/os_result.h"

namespace dpc {

// Starts detached background work. Nobody joins it; the work reports back through shared atomics.
class WorkerThreads {
 public:
  virtual ~WorkerThreads() = default;
  // The system's error when no thread can be started; the work is then never run.
  virtual OsStatus StartDetached(std::function<void()> work) = 0;
};

}  // namespace dpc
