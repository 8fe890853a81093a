#pragma once

#include <string>

#include "platform/instance_guard.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::win32 {

// The name every controller of a session holds.
inline constexpr wchar_t kInstanceGuardName[] = L"Durvin_Proof_Control";

// One controller per session: a small named file mapping that lives as long as a controller
// holds it.
class InstanceGuardWin final : public InstanceGuard {
 public:
  enum class Outcome {
    kHeld,            // this process created the mapping
    kAlreadyRunning,  // another controller holds it (ours may share it, see below)
    kUnavailable,     // the mapping could not be made for another reason
  };

  // Tries to create the mapping at once. When it already exists the handle to it is kept all the
  // same, so a start that is never refused (an elevated relaunch) holds it too and keeps it alive
  // after the process that made it has ended.
  explicit InstanceGuardWin(const std::wstring& name = kInstanceGuardName);

  Outcome outcome() const { return outcome_; }
  // An "access denied" means the mapping exists and belongs to an elevated controller.
  bool AnotherControllerRuns() const { return outcome_ == Outcome::kAlreadyRunning; }
  bool holding() const { return mapping_.valid(); }

  OsStatus Release() override;

 private:
  ScopedKernelHandle mapping_;
  Outcome outcome_ = Outcome::kUnavailable;
};

}  // namespace dpc::win32
