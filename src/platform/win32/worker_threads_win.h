#pragma once

#include "platform/worker_threads.h"

namespace dpc::win32 {

// Detached std::threads. An exception escaping the work would end the whole process, so it is
// caught in the thread and reported to the debugger output instead.
class WorkerThreadsWin final : public WorkerThreads {
 public:
  OsStatus StartDetached(std::function<void()> work) override;
};

}  // namespace dpc::win32
