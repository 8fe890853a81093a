#pragma once

#include "platform/os_result.h"

namespace dpc {

// The one-controller-per-session guard held by this process.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;
  // Lets go of the guard, so that a controller started from here is not refused. Idempotent; the
  // error when the system would not close the guard's handle (it is given up all the same).
  virtual OsStatus Release() = 0;
};

}  // namespace dpc
