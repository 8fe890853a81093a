#pragma once

#include <atomic>
#include <functional>
#include <vector>
#include <cstdio>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/worker_threads.h"

namespace dpc::test {

// A clock that only moves when told to, or when someone sleeps on it.
class FakeClock : public Clock {
 public:
  LocalDateTime Now() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  uint64_t SteadyMilliseconds() override { return steady_.load(); }
  void Sleep(uint32_t milliseconds) override {
    sleeps_.fetch_add(1);
    sleptMs_.fetch_add(milliseconds);
    Advance(milliseconds);
    if (onSleep) onSleep(milliseconds);
  }
  OsResult<std::string> FormatLongTime(const LocalDateTime& t) override {
    if (formatError) return *formatError;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return std::string(text);
  }
  OsResult<std::string> FormatShortDate(const LocalDateTime& t) override {
    if (formatError) return *formatError;
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day, t.month, t.year);
    return std::string(text);
  }

  void Set(const LocalDateTime& moment) {
    std::lock_guard lock(mutex_);
    now_ = moment;
  }
  // Moves both clocks; the wall clock's seconds roll over into minutes and hours within the day
  // (tests that cross midnight set the date themselves).
  void Advance(uint64_t milliseconds) {
    steady_.fetch_add(milliseconds);
    std::lock_guard lock(mutex_);
    uint64_t ms = now_.millisecond + milliseconds;
    now_.millisecond = static_cast<int>(ms % 1000);
    uint64_t s = now_.second + ms / 1000;
    now_.second = static_cast<int>(s % 60);
    uint64_t m = now_.minute + s / 60;
    now_.minute = static_cast<int>(m % 60);
    now_.hour = static_cast<int>((now_.hour + m / 60) % 24);
  }

  int sleeps() const { return sleeps_.load(); }
  uint64_t sleptMs() const { return sleptMs_.load(); }
  // Called after each sleep, on the sleeping thread: lets a test change the world mid-wait.
  std::function<void(uint32_t)> onSleep;
  // Set: the system rejects every moment given to the formats.
  std::optional<OsError> formatError;

 private:
  std::mutex mutex_;
  LocalDateTime now_{2026, 12, 7, 12, 0, 0, 0, 1};
  std::atomic<uint64_t> steady_{1000000};
  std::atomic<int> sleeps_{0};
  std::atomic<uint64_t> sleptMs_{0};
};

// Keeps started work until the test runs it, so overlaps can be staged deterministically.
class FakeWorkerThreads : public WorkerThreads {
 public:
  OsStatus StartDetached(std::function<void()> work) override {
    pending.push_back(std::move(work));
    return OsStatus::Success();
  }
  // Runs and forgets every queued worker, in start order.
  void RunAll() {
    while (!pending.empty()) {
      auto work = std::move(pending.front());
      pending.erase(pending.begin());
      work();
    }
  }
  std::vector<std::function<void()>> pending;
};

}  // namespace dpc::test
