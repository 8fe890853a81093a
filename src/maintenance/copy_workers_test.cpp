#include "maintenance/copy_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace dpc {
namespace {

// Jobs wait at a gate the test opens, so that some stay queued while others are in hand.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  int entered = 0;

  void Pass() {
    std::unique_lock<std::mutex> lock(mutex);
    ++entered;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(5), [&] { return open; });
  }
  void AwaitEntered(int count) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(5), [&] { return entered >= count; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
};

std::vector<CopyWorkers::Result> CollectAll(CopyWorkers& workers) {
  std::vector<CopyWorkers::Result> all;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (workers.Outstanding() > 0 && std::chrono::steady_clock::now() < until) {
    for (auto& result : workers.Collect(20)) all.push_back(std::move(result));
  }
  return all;
}

TEST(CopyWorkersTest, DroppedFilesAreNeverCopiedAndNotAwaited) {
  Gate gate;
  std::atomic<int> copied = 0;
  CopyWorkers workers(1);
  for (int i = 0; i < 5; ++i) {
    workers.Submit({std::to_string(i),
                    [&] {
                      gate.Pass();
                      ++copied;
                      return FileOutcome{FileOutcome::Kind::Copied, std::nullopt, {}};
                    },
                    nullptr});
  }
  gate.AwaitEntered(1);
  workers.DropWaiting();
  EXPECT_EQ(workers.Outstanding(), 1u) << "only the file in hand is still awaited";
  gate.Open();
  const auto results = CollectAll(workers);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].relative, "0");
  EXPECT_EQ(copied, 1);
}

// Not the copy of one file failing (that is the file's error) but the thread itself: it must
// neither leave its file awaited for ever nor pass unnoticed.
TEST(CopyWorkersTest, AThreadThatEndsEarlyIsReportedAndNotAwaited) {
  std::atomic<int> calls = 0;
  CopyWorkers workers(2);
  for (int i = 0; i < 3; ++i) {
    workers.Submit({std::to_string(i),
                    [&calls, i] {
                      ++calls;
                      if (i == 1) throw std::bad_alloc();
                      return FileOutcome{FileOutcome::Kind::Copied, std::nullopt, {}};
                    },
                    nullptr});
  }
  const auto results = CollectAll(workers);
  EXPECT_EQ(workers.Outstanding(), 0u);
  ASSERT_TRUE(workers.Failure().has_value());
  EXPECT_EQ(workers.Failure()->api, "CopyWorkers");
  EXPECT_EQ(results.size() + 1, static_cast<size_t>(calls.load()));
}

}  // namespace
}  // namespace dpc
