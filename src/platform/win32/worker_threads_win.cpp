#include "platform/win32/worker_threads_win.h"

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::win32 {
namespace {

DWORD WINAPI RunWork(void* parameter) noexcept {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  try {
    if (*work) (*work)();
  } catch (const std::exception& error) {
    ::OutputDebugStringA((std::string("Worker thread failed: ") + error.what() + "\n").c_str());
  } catch (...) {
    ::OutputDebugStringA("Worker thread failed with an unknown exception\n");
  }
  return 0;
}

}  // namespace

OsStatus WorkerThreadsWin::StartDetached(std::function<void()> work) {
  // CreateThread rather than std::thread: its failure is the system's own code.
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  const ScopedKernelHandle thread(::CreateThread(nullptr, 0, &RunWork, owned.get(), 0, nullptr));
  if (!thread) return LastOsError("CreateThread");
  owned.release();  // the thread frees it
  return OsStatus::Success();
}

}  // namespace dpc::win32
