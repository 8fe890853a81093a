#pragma once

#include <functional>

namespace dpc {

// Starts detached background work. Nobody joins it; the work reports back through shared atomics.
class WorkerThreads {
 public:
  virtual ~WorkerThreads() = default;
  virtual void StartDetached(std::function<void()> work) = 0;
};

}  // namespace dpc
