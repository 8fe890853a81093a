#pragma once

namespace dpc {

// The one-controller-per-session guard held by this process.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;
  // Lets go of the guard, so that a controller started from here is not refused. Idempotent.
  virtual void Release() = 0;
};

}  // namespace dpc
