#include "platform/win32/worker_threads_win.h"

#include <windows.h>

#include <exception>
#include <string>
#include <thread>
#include <utility>

namespace dpc::win32 {

void WorkerThreadsWin::StartDetached(std::function<void()> work) {
  std::thread([work = std::move(work)]() noexcept {
    try {
      if (work) work();
    } catch (const std::exception& error) {
      ::OutputDebugStringA((std::string("Worker thread failed: ") + error.what() + "\n").c_str());
    } catch (...) {
      ::OutputDebugStringA("Worker thread failed with an unknown exception\n");
    }
  }).detach();
}

}  // namespace dpc::win32
