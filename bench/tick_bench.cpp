// Runs the supervision tick and the scheduled-restart tick back to back against the machine's own
// service manager, with the real adapters, and reports the process's memory and the time per
// tick. Both ticks run for the controller's whole life (every 3 s and every second), so anything
// they keep per call is a leak that only shows after days.
//
//   tick_bench.exe [first [last]]   memory every `first` ticks up to `last` (1000 and 10000)
//
// Needs "Durvin Proof Server" installed and running. Exit code 0 when neither tick grows the
// process's private memory or handle count between the two samples, 1 when one does, 2 when the
// bench could not run.
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/host_window.h"
#include "platform/win32/installer_link_win.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_platform.h"
#include "service/server_commands.h"
#include "service/service_access.h"
#include "service/supervision.h"
#include "shell/control_log.h"
#include "shell/control_settings.h"

#include <windows.h>
#include <psapi.h>

namespace {

// The ticks only set and read timer intervals and the tray image; plain values serve, and no
// window or message loop is needed.
class BenchWindow final : public dpc::HostWindow {
 public:
  dpc::WindowId Handle() override { return dpc::kNoWindow; }
  dpc::Waker& waker() override { return waker_; }
  dpc::OsStatus SetTimerInterval(dpc::TimerId timer, uint32_t milliseconds) override {
    intervals_[timer] = milliseconds;
    return dpc::OsStatus::Success();
  }
  uint32_t TimerInterval(dpc::TimerId timer) override { return intervals_[timer]; }
  dpc::OsStatus SetTimerEnabled(dpc::TimerId timer, bool enabled) override {
    enabled_[timer] = enabled;
    return dpc::OsStatus::Success();
  }
  bool TimerEnabled(dpc::TimerId timer) override { return enabled_[timer]; }
  void SetTrayImage(int index) override { trayImage_ = index; }
  int TrayImage() override { return trayImage_; }
  void SetTrayHint(const std::string&) override {}
  void ShowBalloon(const std::string&, const std::string&, dpc::BalloonIcon) override {}
  int TrackPopupMenu(const std::vector<dpc::MenuEntry>&) override { return 0; }
  void MoveOffscreen() override {}
  void BringToFront() override {}
  void HideForGood() override {}
  void HideTaskbarButton() override {}
  void Close() override {}

 private:
  std::map<dpc::TimerId, uint32_t> intervals_{{dpc::TimerId::Timer1, 10},
                                              {dpc::TimerId::Timer5, 1000},
                                              {dpc::TimerId::ServerRestart, 1000}};
  std::map<dpc::TimerId, bool> enabled_;
  int trayImage_ = 0;
  struct : dpc::Waker {
    void Wake() noexcept override {}
  } waker_;
};

struct Memory {
  // GetProcessMemoryInfo's figures. Wine 8 reports PrivateUsage as 0 and fills PagefileUsage with
  // Linux's resident anonymous pages; the working set and that also grow when committed pages
  // are first touched, so the verdict rests on the three figures below.
  uint64_t privateUsage = 0;
  uint64_t workingSet = 0;
  uint64_t pagefileUsage = 0;
  // Committed private pages by VirtualQuery: what PrivateUsage counts, measured ourselves.
  uint64_t committedPrivate = 0;
  // The part of those pages in memory. When the working set rises with this and the commit stays,
  // the ticks are touching pages committed long ago, not taking new ones.
  uint64_t residentPrivate = 0;
  // Bytes in busy blocks of every process heap: the C++ runtime's allocations, to the byte.
  uint64_t heapInUse = 0;
  // The value a fresh handle gets. Freed handle slots are reused first, so a handle leaked per
  // tick drives it up; Wine 8 reports GetProcessHandleCount as 0.
  uintptr_t nextHandle = 0;
};

struct PrivatePages {
  uint64_t committed = 0;
  uint64_t resident = 0;
};

PrivatePages MeasurePrivatePages() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const uintptr_t pageSize = system.dwPageSize;
  // Allocated once, at the first sample: its own pages then count the same in every sample.
  static std::vector<PSAPI_WORKING_SET_EX_INFORMATION> pages(64 * 1024);
  size_t count = 0;
  PrivatePages result;
  MEMORY_BASIC_INFORMATION region{};
  const char* address = nullptr;
  while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      result.committed += region.RegionSize;
      const auto begin = reinterpret_cast<uintptr_t>(region.BaseAddress);
      for (uintptr_t page = begin; page < begin + region.RegionSize && count < pages.size();
           page += pageSize) {
        pages[count++].VirtualAddress = reinterpret_cast<void*>(page);
      }
    }
    address = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  if (QueryWorkingSetEx(GetCurrentProcess(), pages.data(),
                        static_cast<DWORD>(count * sizeof(PSAPI_WORKING_SET_EX_INFORMATION)))) {
    for (size_t i = 0; i < count; ++i) {
      if (pages[i].VirtualAttributes.Valid) result.resident += pageSize;
    }
  }
  return result;
}

uint64_t HeapBytesInUse() {
  std::vector<HANDLE> heaps(64);
  DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (count > heaps.size()) {
    heaps.resize(count);
    count = GetProcessHeaps(count, heaps.data());
  }
  uint64_t total = 0;
  for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

uintptr_t NextHandleValue() {
  HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const auto value = reinterpret_cast<uintptr_t>(probe);
  if (probe) CloseHandle(probe);
  return value;
}

// Called outside the timed ticks; the vector the heap walk needs is freed before it returns.
Memory Sample() {
  Memory memory;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    memory.privateUsage = counters.PrivateUsage;
    memory.workingSet = counters.WorkingSetSize;
    memory.pagefileUsage = counters.PagefileUsage;
  }
  const PrivatePages privatePages = MeasurePrivatePages();
  memory.committedPrivate = privatePages.committed;
  memory.residentPrivate = privatePages.resident;
  memory.heapInUse = HeapBytesInUse();
  memory.nextHandle = NextHandleValue();
  return memory;
}

double Kilobytes(uint64_t bytes) { return static_cast<double>(bytes) / 1024.0; }

void PrintSample(int ticks, const Memory& memory) {
  std::printf(
      "  after %6d ticks: PrivateUsage %6.0f KB  WorkingSetSize %6.0f KB  PagefileUsage %6.0f KB"
      "  committed private %6.0f KB (resident %6.0f KB)  heap in use %8llu B  next handle 0x%llx\n",
      ticks, Kilobytes(memory.privateUsage), Kilobytes(memory.workingSet),
      Kilobytes(memory.pagefileUsage), Kilobytes(memory.committedPrivate),
      Kilobytes(memory.residentPrivate), static_cast<unsigned long long>(memory.heapInUse),
      static_cast<unsigned long long>(memory.nextHandle));
}

double GrowthKilobytes(uint64_t from, uint64_t to) {
  return static_cast<double>(static_cast<int64_t>(to - from)) / 1024.0;
}

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceFrequency(&frequency_); }
  int64_t Now() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
  }
  double Milliseconds(int64_t from, int64_t to) const {
    return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_;
};

struct Options {
  int first = 1000;
  int last = 10000;
};

// Growth allowed between the two samples. A block kept per tick, even 8 bytes, over 9000 ticks
// exceeds the heap's bound; the page bound leaves room for one heap arena growing once.
constexpr int64_t kAllowedHeapGrowthBytes = 1024;
constexpr uint64_t kAllowedPrivateGrowthBytes = 64 * 1024;
constexpr int kWarmUpTicks = 100;

// Runs `tick` kWarmUpTicks times unmeasured (first-use allocations: formats, locale, heap
// arenas), then `options.last` times, sampling memory at the start, after every `options.first`
// ticks and at the end. Returns false when memory or handles grew between the samples after
// `options.first` and `options.last` ticks.
bool Measure(const char* name, const std::function<void()>& tick, const Options& options) {
  std::printf("%s\n", name);
  Sample();  // the sampling's own first use of memory is not the ticks'
  for (int i = 0; i < kWarmUpTicks; ++i) tick();

  std::vector<double> durations;
  durations.reserve(static_cast<size_t>(options.last));  // before the baseline, so it is not growth
  const Stopwatch stopwatch;
  PrintSample(0, Sample());
  Memory atFirst;
  Memory atLast;
  for (int i = 1; i <= options.last; ++i) {
    const int64_t start = stopwatch.Now();
    tick();
    durations.push_back(stopwatch.Milliseconds(start, stopwatch.Now()));
    if (i % options.first == 0 || i == options.last) {
      const Memory memory = Sample();
      PrintSample(i, memory);
      if (i == options.first) atFirst = memory;
      if (i == options.last) atLast = memory;
    }
  }
  double total = 0;
  for (double duration : durations) total += duration;

  std::sort(durations.begin(), durations.end());
  auto percentile = [&](double p) {
    return durations[std::min(durations.size() - 1, static_cast<size_t>(p * durations.size()))];
  };
  std::printf("  time per tick: mean %.3f ms  median %.3f ms  p99 %.3f ms  max %.3f ms\n",
              total / options.last, percentile(0.5), percentile(0.99), durations.back());

  const int64_t heapGrowth =
      static_cast<int64_t>(atLast.heapInUse) - static_cast<int64_t>(atFirst.heapInUse);
  std::printf(
      "  growth %d -> %d ticks: PrivateUsage %+.0f KB  WorkingSetSize %+.0f KB  PagefileUsage"
      " %+.0f KB  committed private %+.0f KB (resident %+.0f KB)  heap in use %+lld B  next handle"
      " %+lld\n",
      options.first, options.last, GrowthKilobytes(atFirst.privateUsage, atLast.privateUsage),
      GrowthKilobytes(atFirst.workingSet, atLast.workingSet),
      GrowthKilobytes(atFirst.pagefileUsage, atLast.pagefileUsage),
      GrowthKilobytes(atFirst.committedPrivate, atLast.committedPrivate),
      GrowthKilobytes(atFirst.residentPrivate, atLast.residentPrivate),
      static_cast<long long>(heapGrowth),
      static_cast<long long>(atLast.nextHandle) - static_cast<long long>(atFirst.nextHandle));
  const bool steady =
      heapGrowth <= kAllowedHeapGrowthBytes &&
      atLast.privateUsage <= atFirst.privateUsage + kAllowedPrivateGrowthBytes &&
      atLast.committedPrivate <= atFirst.committedPrivate + kAllowedPrivateGrowthBytes &&
      atLast.nextHandle <= atFirst.nextHandle;
  std::printf("  %s\n\n", steady ? "steady" : "GROWS");
  return steady;
}

// Where a tick's time goes: the calls it is made of, each timed alone.
void MeasureParts(dpc::ServiceAccess& access, dpc::ControlLog& log, dpc::Clock& clock,
                  dpc::InstallerLink& installer) {
  constexpr int kCalls = 200;
  const Stopwatch stopwatch;
  auto mean = [&](const std::function<void()>& call) {
    const int64_t begin = stopwatch.Now();
    for (int i = 0; i < kCalls; ++i) call();
    return stopwatch.Milliseconds(begin, stopwatch.Now()) / kCalls;
  };
  std::printf("parts (mean of %d calls)\n", kCalls);
  std::printf("  service state query (open manager, open service, query, close): %.3f ms\n",
              mean([&] { access.QueryServiceState("", dpc::kServerServiceName); }));
  std::printf("  installed test (enumerate services):                            %.3f ms\n",
              mean([&] { access.IsServiceInstalled(dpc::kServerServiceName); }));
  std::printf("  trace log line (open, append, close):                           %.3f ms\n",
              mean([&] { log.Write("parts", "trace log line"); }));
  std::printf("  clock text (long time format):                                  %.3f ms\n",
              mean([&] { (void)clock.FormatLongTime(clock.Now()); }));
  // The package's close signal as every supervision tick looks for it: first while an installation
  // has published one (which also makes the key a controller watches), then with none.
  const auto closeSignal = [&] {
    const dpc::OsResult<std::string> name = installer.PublishedCloseSignal();
    if (name && !name->empty()) (void)installer.ReadCloseSignal(*name);
  };
  {
    const dpc::win32::ScopedKernelHandle raised = dpc::win32::RaiseCloseSignal();
    std::printf("  close signal, published by an installation (open, owner):       %.3f ms\n",
                mean(closeSignal));
    dpc::win32::WithdrawCloseSignal();
  }
  std::printf("  close signal, none published (a wait on the key's notification): %.3f ms\n",
              mean(closeSignal));
  std::printf("  a registry value read (open, query, close), for comparison:     %.3f ms\n\n",
              mean([] {
                wchar_t value[128];
                DWORD size = sizeof value;
                (void)RegGetValueW(HKEY_LOCAL_MACHINE, dpc::win32::kCloseSignalKey, L"InstallDir",
                                   RRF_RT_REG_SZ, nullptr, value, &size);
              }));
}

std::wstring BenchFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  std::wstring folder = std::wstring(temp) + L"dpc-tick-bench\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

int Run(const Options& options) {
  dpc::win32::Win32Platform platform;
  platform.services.Bind(platform.libraries);
  if (!platform.services.bound()) {
    std::fprintf(stderr, "the service manager's entry points could not be bound\n");
    return 2;
  }
  dpc::ServiceAccess access(platform.services, platform.clock);
  const uint32_t state = access.QueryServiceState("", dpc::kServerServiceName);
  if (state != dpc::state::kRunning) {
    std::fprintf(stderr, "\"%s\" is %s; the bench needs it running\n", dpc::kServerServiceName,
                 dpc::ServiceStateName(state).c_str());
    return 2;
  }

  BenchWindow window;
  const std::string folder = dpc::win32::WideToUtf8(BenchFolder());
  dpc::ControlLog log(platform.files, folder + "tick_bench.log");
  log.Reset();
  int restarts = 0;
  dpc::CommandState commandState;
  dpc::ServerCommands commands(commandState, access, platform.threads, platform.clock, window, log);
  dpc::SettingsFileFeedback feedback(platform.profiles, folder + "tick_bench.ini");
  dpc::Supervision supervision(
      dpc::Supervision::Deps{access, commands, commandState, window, platform.clock, log, feedback,
                             platform.files, platform.shell, folder + "Kelvra_Feedback.exe"});
  // Enabled, every day, at a time the clock never shows: every tick queries the service, formats
  // the clock and writes its two log lines, as a configured controller does all day long.
  supervision.SetRestartSchedule(dpc::RestartSchedule{1, 0, "never"});

  std::printf("service \"%s\" RUNNING; log %s\n\n", dpc::kServerServiceName, log.path().c_str());
  MeasureParts(access, log, platform.clock, platform.installer);
  const bool supervisionSteady = Measure(
      "Timer1Timer", [&] { supervision.Timer1Timer(); }, options);
  const bool restartSteady = Measure(
      "tiServerRestartTimer", [&] { restarts += supervision.tiServerRestartTimer() ? 1 : 0; },
      options);
  const bool steady = supervisionSteady && restartSteady;

  // The ticks must have seen the real service, or the figures measure a failing path.
  bool sound = true;
  if (window.TrayImage() != 2) {
    std::fprintf(stderr, "the supervision tick shows image %d, not 2 (running)\n",
                 window.TrayImage());
    sound = false;
  }
  if (restarts != 0) {
    std::fprintf(stderr, "the scheduled restart fired %d times\n", restarts);
    sound = false;
  }
  const auto logSize = platform.files.FileSize(log.path());
  std::printf("log: %llu bytes\n", static_cast<unsigned long long>(logSize ? *logSize : 0));
  if (!sound) return 2;
  std::printf("%s\n", steady ? "RESULT: steady" : "RESULT: memory or handles grow");
  return steady ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Unbuffered, so a bench cut short by its time limit still shows the samples taken.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  Options options;
  if (argc >= 2) options.first = static_cast<int>(std::wcstol(argv[1], nullptr, 10));
  if (argc >= 3) options.last = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
  if (options.first <= 0 || options.last <= options.first) {
    std::fprintf(stderr, "usage: tick_bench.exe [first [last]], 0 < first < last\n");
    return 2;
  }
  try {
    return Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench failed: %s\n", error.what());
    return 2;
  }
}
