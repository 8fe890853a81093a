// How long a tray menu takes to open: from the tray callback posted to the program's hidden window
// until its popup menu (a visible "#32768" window of that process) is on screen. Each opening is
// dismissed again before the next one.
//
//   menu_bench.exe [openings]      (default 100)
//
// Drives whichever program owns the window titled "Kelvra Vistrane Tarn Control": the controller,
// or plain_tray.exe as the yardstick. Prints the median, the 95th percentile and the maximum.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <thread>
#include <vector>

#include "shown_menu.h"

namespace {

using Clock = std::chrono::steady_clock;

using dpc::testsupport::ShownMenuOf;

constexpr UINT kTrayCallback = WM_APP + 1;

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const int openings = argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 100;
  HWND window = nullptr;
  for (int i = 0; i < 200 && !window; ++i) {
    window = FindWindowW(nullptr, L"Kelvra Vistrane Tarn Control");
    if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!window || openings <= 0) {
    std::fprintf(stderr, "no tray program window found\n");
    return 2;
  }
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);

  std::vector<double> milliseconds;
  for (int i = 0; i < openings; ++i) {
    const auto begin = Clock::now();
    // Both notification-area protocols; the one the icon does not use is ignored.
    PostMessageW(window, kTrayCallback, 1, MAKELPARAM(WM_CONTEXTMENU, 1));
    PostMessageW(window, kTrayCallback, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    while (!(menu = ShownMenuOf(process))) {
      if (Clock::now() - begin > std::chrono::seconds(10)) {
        std::fprintf(stderr, "opening %d: no menu within 10 s\n", i + 1);
        return 2;
      }
      std::this_thread::yield();
    }
    milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    while (ShownMenuOf(process)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Let the second callback and the dismissal settle before the next opening.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  std::printf("openings %d: median %.1f ms, 95th percentile %.1f ms, max %.1f ms\n", openings,
              Percentile(milliseconds, 0.5), Percentile(milliseconds, 0.95),
              Percentile(milliseconds, 1.0));
  return 0;
}
