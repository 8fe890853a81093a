#include "maintenance/copy_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_move_view.h"

namespace dpc {
namespace {

using file_attribute::kHidden;
using file_attribute::kReparsePoint;
using file_attribute::kSystem;

constexpr uint64_t kGiB = 1ull << 30;

void AddOldTree(test::FakeFileSystem& files) {
  files.AddFile("C:\\Old\\a.txt", "alpha");
  files.AddFile("C:\\Old\\hidden.sys", "hs", kHidden | kSystem);
  files.AddFile("C:\\Old\\.cache\\big.bin", "b", 0, 3 * kGiB);
  files.AddFolder("C:\\Old\\Secret", kHidden);
  files.AddFile("C:\\Old\\Sub\\Deeper\\c.txt", "gamma");
  files.AddFolder("C:\\Old\\Empty");
}

class CopyEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { AddOldTree(files); }
  // Measured first, as a move does: the copy finds every folder as it was measured.
  CopyReport CopyAll(const CopyEngine::StopCheck& stop = {}) {
    engine.FolderSize("C:\\Old");
    return engine.CopyFolderTree("C:\\Old", "D:\\New", view, stop);
  }

  test::FakeFileSystem files;
  test::FakeMoveView view;
  CopyEngine engine{files};
};

TEST_F(CopyEngineTest, SizeCountsEveryFileIn64BitsDotFoldersIncluded) {
  engine.FileCounter = 10;
  const TreeSize size = engine.FolderSize("C:\\Old");
  EXPECT_EQ(size.bytes, 3 * kGiB + 1 + 5 + 2 + 5);
  EXPECT_EQ(size.files, 4);
  EXPECT_EQ(size.folders, 5);
  EXPECT_TRUE(size.problems.none());
  EXPECT_EQ(engine.FileCounter, 14);
  EXPECT_EQ(engine.CountFiles("C:\\Old\\Sub"), 1);
  EXPECT_EQ(engine.FileCounter, 15);
}

TEST_F(CopyEngineTest, UnlistableFoldersAndLinksAreProblemsNotEmptyFolders) {
  files.listErrors["C:\\Old\\Sub\\Deeper"] = OsError{5, "FindFirstFileExW", "Access is denied."};
  files.AddFolder("C:\\Old\\Loop", kReparsePoint);
  files.AddFile("C:\\Old\\Loop\\x", "never counted");
  files.AddFile("C:\\Old\\Sub\\b\xEF\xBF\xBD.txt", "a name UTF-8 cannot hold");
  files.MarkInexactName("C:\\Old\\Sub\\b\xEF\xBF\xBD.txt");
  const TreeSize size = engine.FolderSize("C:\\Old");
  ASSERT_EQ(size.problems.total(), 3);
  EXPECT_EQ(size.files, 3);
  std::set<std::string> found;
  for (const TreeProblem& p : size.problems.firstFew()) found.insert(p.relative);
  EXPECT_EQ(found, (std::set<std::string>{"Loop", "Sub\\Deeper", "Sub\\b\xEF\xBF\xBD.txt"}));
  EXPECT_EQ(engine.FolderSize("C:\\Missing").problems.firstFew().at(0).kind,
            TreeProblem::Kind::Unreadable);
}

TEST_F(CopyEngineTest, CopiesEveryEntryAndNeverOverwrites) {
  files.AddFile("D:\\New\\a.txt", "kept at the destination");
  const CopyReport report = CopyAll();
  EXPECT_FALSE(report.cancelled);
  EXPECT_EQ(report.copied, 3);
  EXPECT_EQ(report.preexisting, (std::set<std::string>{"a.txt"}));
  EXPECT_EQ(view.steps, 4);
  EXPECT_EQ(files.Content("D:\\New\\a.txt"), "kept at the destination");
  EXPECT_EQ(files.Find("D:\\New\\hidden.sys")->attributes, kHidden | kSystem);
  EXPECT_EQ(files.Find("D:\\New\\Secret")->attributes & kHidden, kHidden);
  EXPECT_TRUE(files.Exists("D:\\New\\Empty"));
  EXPECT_EQ(files.Content("D:\\New\\Sub\\Deeper\\c.txt"), "gamma");
}

// A copy carries the file's named streams, times and attributes (read-only among them) and a
// sparse file's ranges, which is also all the space it is counted for; an encrypted file is
// refused before anything is copied.
TEST_F(CopyEngineTest, WhatACopyCarriesAndWhatItRefuses) {
  files.SetStream("C:\\Old\\a.txt", "Zone.Identifier", "[ZoneTransfer]");
  files.AddFile("C:\\Old\\ro.txt", "read only", file_attribute::kReadOnly);
  files.AddFile("C:\\Old\\sparse.bin", "", 0, kGiB);
  files.MakeSparse("C:\\Old\\sparse.bin", {{4096, 8192}});
  const TreeSize size = engine.FolderSize("C:\\Old", {}, 4096);
  // Five files of a cluster or so (the large one just over 3 GiB), the sparse one, six folders.
  EXPECT_EQ(size.occupied, 3 * kGiB + 5 * 4096 + 8192 + 6 * 4096);
  const CopyReport copy = engine.CopyFolderTree("C:\\Old", "D:\\New", view, {});
  ASSERT_TRUE(copy.problems.none());
  const auto* a = files.Find("D:\\New\\a.txt");
  EXPECT_EQ(a->streams,
            (std::map<std::string, std::string>{{"Zone.Identifier", "[ZoneTransfer]"}}));
  EXPECT_EQ(a->times, files.Find("C:\\Old\\a.txt")->times);
  EXPECT_EQ(files.Find("D:\\New\\ro.txt")->attributes, file_attribute::kReadOnly);
  EXPECT_EQ(files.Find("D:\\New\\sparse.bin")->ranges, (std::vector<ByteRange>{{4096, 8192}}));

  test::FakeFileSystem locked;
  locked.AddFile("C:\\Old\\secret.efs", "x", file_attribute::kEncrypted);
  CopyEngine other{locked};
  const TreeSize refused = other.FolderSize("C:\\Old");
  ASSERT_EQ(refused.problems.total(), 1);
  EXPECT_EQ(refused.problems.firstFew()[0].kind, TreeProblem::Kind::Encrypted);
}

TEST_F(CopyEngineTest, CancelIsNoticedAfterTheEntryInHand) {
  int copies = 0;
  files.onCopy = [&](const std::string&) {
    if (++copies == 2) view.cancelled = true;
  };
  const CopyReport report = CopyAll([&] { return view.Cancelled(); });
  EXPECT_TRUE(report.cancelled);
  EXPECT_EQ(copies, 2);
  EXPECT_EQ(view.steps, 2);
}

TEST(CopyEngineVerifyTest, VerificationFindsWhatDidNotArrive) {
  using F = test::FakeFileSystem;
  struct Case {
    const char* name;
    std::function<void(F&)> stage;
    TreeProblem::Kind kind;
    const char* relative;
  };
  const Case cases[] = {
      {"copy failed",
       [](F& f) {
         f.copyErrors["C:\\Old\\a.txt"] = OsError{112, "CopyFileExW", ""};
       },
       TreeProblem::Kind::CopyFailed, "a.txt"},
      {"different file already there", [](F& f) { f.AddFile("D:\\New\\a.txt", "ALPHA"); },
       TreeProblem::Kind::ContentDiffers, "a.txt"},
      {"removed after the copy",
       [](F& f) {
         f.onCopy = [&f](const std::string&) { (void)f.RemoveFile("D:\\New\\hidden.sys"); };
       },
       TreeProblem::Kind::Missing, "hidden.sys"},
      {"folder not made",
       [](F& f) {
         f.createErrors["D:\\New\\Sub\\Deeper"] = OsError{5, "NtCreateFile", ""};
       },
       TreeProblem::Kind::NotCreated, "Sub\\Deeper"},
      // A copy short by a byte that reports success.
      {"short copy",
       [](F& f) {
         f.onCopy = [&f](const std::string& from) {
           if (from.ends_with("a.txt")) f.AddFile("D:\\New\\a.txt", "alph");
         };
       },
       TreeProblem::Kind::SizeDiffers, "a.txt"},
      {"the original changed after its copy, at the same size",
       [](F& f) {
         f.onCopy = [&f](const std::string& from) {
           if (from.ends_with("a.txt")) f.Rewrite("C:\\Old\\a.txt", "ALPHA");
         };
       },
       TreeProblem::Kind::Changed, "a.txt"},
      {"the copy replaced before the check, at the same size",
       [](F& f) {
         f.onCopy = [&f](const std::string& from) {
           if (!from.ends_with("a.txt")) return;
           const FileTimes times = f.Find("D:\\New\\a.txt")->times;
           f.AddFile("D:\\New\\a.txt", "ALPHA");
           f.SetTimes("D:\\New\\a.txt", times);
         };
       },
       TreeProblem::Kind::Changed, "a.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F files;
    test::FakeMoveView view;
    CopyEngine engine{files};
    AddOldTree(files);
    c.stage(files);
    engine.FolderSize("C:\\Old");
    const CopyReport copy = engine.CopyFolderTree("C:\\Old", "D:\\New", view, {});
    files.onCopy = nullptr;
    const VerifyReport verify = engine.VerifyCopy("C:\\Old", "D:\\New", copy, {});
    ASSERT_FALSE(verify.problems.none());
    EXPECT_EQ(verify.problems.firstFew()[0].kind, c.kind);
    EXPECT_EQ(verify.problems.firstFew()[0].relative, c.relative);
  }
}

// Copies on worker threads: each file's copy waits at a gate until `width` copies have started
// (or a second has passed), so that several are surely in flight at once.
class ParallelCopyTest : public CopyEngineTest {
 protected:
  void SetUp() override {
    CopyEngineTest::SetUp();
    for (int i = 0; i < 12; ++i) files.AddFile("C:\\Old\\Many\\" + std::to_string(i), "n");
    files.beforeCopy = [this](const std::string&) {
      std::unique_lock<std::mutex> lock(mutex);
      const int now = ++running;
      ++started;
      widest = std::max(widest, now);
      gate.notify_all();
      gate.wait_for(lock, std::chrono::seconds(1), [&] { return running >= width; });
    };
    files.onCopy = [this](const std::string&) {
      std::lock_guard<std::mutex> lock(mutex);
      --running;
    };
    engine.UseWorkers(3);
  }

  std::mutex mutex;
  std::condition_variable gate;
  int running = 0, started = 0, widest = 0, width = 3;
};

TEST_F(ParallelCopyTest, AFileFailingWhileOthersAreInFlightFailsAloneAndIsReported) {
  files.copyErrors["C:\\Old\\Many\\4"] = OsError{112, "CopyFileExW", "The disk is full."};
  const CopyReport copy = CopyAll();
  EXPECT_EQ(widest, 3);
  EXPECT_FALSE(copy.cancelled);
  EXPECT_EQ(copy.copied, 15);
  ASSERT_EQ(copy.failed.count("Many\\4"), 1u);
  EXPECT_EQ(copy.failed.at("Many\\4").code, 112u);
  EXPECT_EQ(view.steps, 16) << "every file stepped once, on this thread";
  EXPECT_EQ(files.Content("D:\\New\\Many\\11"), "n");
  const VerifyReport verify = engine.VerifyCopy("C:\\Old", "D:\\New", copy, {});
  ASSERT_EQ(verify.problems.total(), 1);
  EXPECT_EQ(verify.problems.firstFew()[0].kind, TreeProblem::Kind::CopyFailed);
}

TEST_F(ParallelCopyTest, CancelLetsTheFilesInHandFinishAndStartsNoOther) {
  view.cancelAfterSteps = 1;
  const CopyReport copy = CopyAll([&] { return view.Cancelled(); });
  EXPECT_TRUE(copy.cancelled);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(running, 0) << "no copy runs after the walk returned";
  EXPECT_LE(started, 1 + 3) << "those in hand when Cancel came, and none after";
  EXPECT_EQ(view.steps, copy.copied + static_cast<int64_t>(copy.failed.size()));
  EXPECT_EQ(view.steps, started) << "each file in hand counted";
  EXPECT_EQ(files.FilesBelow("D:\\New").size(), static_cast<size_t>(copy.copied));
}

// Cancel that comes while every thread is busy and the walk waits for one to be free.
TEST_F(ParallelCopyTest, CancelWhileWaitingForAThreadStartsNoOtherFile) {
  std::atomic<bool> release = false;
  files.beforeCopy = [this, &release](const std::string&) {
    std::unique_lock<std::mutex> lock(mutex);
    ++started;
    gate.notify_all();
    gate.wait_for(lock, std::chrono::seconds(5), [&] { return release.load(); });
  };
  files.onCopy = nullptr;
  // The walk asks while it waits: the first time it finds every thread busy, Cancel comes.
  const CopyReport copy = CopyAll([&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (started == 3 && !view.cancelled) {
        view.cancelled = true;
        release = true;
        gate.notify_all();
        // Time for a free thread to take whatever the walk still hands out.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
    return view.Cancelled();
  });
  EXPECT_TRUE(copy.cancelled);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(started, 3);
}

TEST_F(ParallelCopyTest, AThreadEndingOutsideACopyEndsTheWalkWithItsReason) {
  files.beforeCopy = [](const std::string& from) {
    if (from.ends_with("\\7")) throw std::bad_alloc();
  };
  const CopyReport copy = CopyAll();
  ASSERT_TRUE(copy.aborted.has_value());
  EXPECT_FALSE(copy.problems.none()) << "not a move to trust, even if every file arrived";
}

// A failure on this thread ends the walk; the files in hand finish before the failure goes on.
TEST_F(ParallelCopyTest, AFailureOnThisThreadLetsTheFilesInHandFinishFirst) {
  width = 1;
  files.beforeCopy = [this](const std::string&) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++running;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  engine.FolderSize("C:\\Old");
  const auto stop = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    if (running > 0) throw std::runtime_error("a window failed");
    return false;
  };
  EXPECT_THROW(engine.CopyFolderTree("C:\\Old", "D:\\New", view, stop), std::runtime_error);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(running, 0) << "no copy runs after the walk returned";
}

TEST_F(ParallelCopyTest, AThrowingCopyIsAFailedFileNotALostThread) {
  width = 1;
  files.beforeCopy = [](const std::string& from) {
    if (from.ends_with("\\7")) throw std::runtime_error("out of memory");
  };
  const CopyReport copy = CopyAll();
  ASSERT_EQ(copy.failed.count("Many\\7"), 1u);
  EXPECT_EQ(copy.copied, 15);
  EXPECT_EQ(view.steps, 16);
}

// The walk moves on while the last files of a folder still copy: each keeps its folder held.
TEST_F(ParallelCopyTest, AFileInFlightKeepsItsFolderHeldAfterTheWalkLeftIt) {
  width = 1;
  std::atomic<int> unheld = 0;
  files.beforeCopy = [](const std::string& from) {
    if (from.ends_with("Many\\11")) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  files.onCopy = [&](const std::string& from) {
    if (from.starts_with("C:\\Old\\Many\\") && files.HeldNow("C:\\Old\\Many") == 0) ++unheld;
  };
  const CopyReport copy = CopyAll();
  EXPECT_EQ(copy.copied, 16);
  EXPECT_EQ(unheld, 0);
  EXPECT_EQ(files.HeldNow("C:\\Old"), 0);
}

// Setting a folder's list makes Windows pass its entries on to every child that is not protected:
// set bottom up, every level would be rewritten again by each level above it.
TEST_F(CopyEngineTest, EachFoldersListReachesOnlyItsOwnChildren) {
  std::string deep = "C:\\Old";
  for (int level = 0; level < 30; ++level) {
    deep += "\\L" + std::to_string(level);
    files.AddFile(deep + "\\f.txt", "f");
  }
  const CopyReport copy = CopyAll();
  ASSERT_TRUE(copy.problems.none());
  files.propagationVisits = 0;
  const SecureReport secured = engine.ApplyPermissions(copy);
  EXPECT_TRUE(secured.problems.none());
  // 39 folders with 65 children between them.
  EXPECT_LE(files.propagationVisits, 2 * 65);
}

// A folder opened through its parent is taken as it is now, whatever its parent's listing said.
TEST_F(CopyEngineTest, AFolderThatBecameAMountPointIsNotPinned) {
  ASSERT_TRUE(engine.FolderSize("C:\\Old").problems.none());
  files.AddFolder("C:\\Elsewhere\\Empty");
  ASSERT_FALSE(files.MountOnHeld("C:\\Old\\Empty", "C:\\Elsewhere"));
  const TreeGuard::Check top = engine.guard().PinOld("", "Old", nullptr, false);
  ASSERT_TRUE(top.held());
  EXPECT_EQ(engine.guard().PinOld("Empty", "Empty", top.pin, false).verdict,
            TreeGuard::Verdict::Link);
}

TEST_F(CopyEngineTest, AnUnusableDriveHasNoSpace) {
  const DriveSpaceResult none = engine.GetDriveSpace('\\');
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.freeBytes, -1);
  EXPECT_EQ(none.totalBytes, -1);
}

TEST_F(CopyEngineTest, RecycleMustLeaveNothing) {
  files.recycleLeavesFolder = true;  // reported success, yet still there
  EXPECT_EQ(engine.DeleteFolderTree("C:\\Old").kind, RecycleResult::Kind::Failed);
  files.recycleLeavesFolder = false;
  EXPECT_EQ(engine.DeleteFolderTree("C:\\Old").kind, RecycleResult::Kind::Recycled);
}

TEST_F(CopyEngineTest, TheBinsTestFileIsNeverOneThatStoodThereBefore) {
  files.guardedRecycle = false;
  const std::string probe = "C:\\Old\\" + std::string(CopyEngine::kRecycleTestFile);
  files.AddFile(probe, "another user's");
  EXPECT_EQ(engine.DeleteFolderTree("C:\\Old").kind, RecycleResult::Kind::Failed);
  EXPECT_EQ(files.Content(probe), "another user's");
  EXPECT_TRUE(files.Exists("C:\\Old\\a.txt"));
}

TEST(CopyProgressTest, CounterReadsLiterallyUntilTheFirstStep) {
  Translator translator;
  CopyProgress progress;
  progress.SetFileTotal(120);
  EXPECT_EQ(progress.CounterCaption(translator), "File %d of %d");
  progress.StepFile();
  progress.StepFile();
  progress.StepFile();
  EXPECT_EQ(progress.CounterCaption(translator), "3 / 120");
  progress.Cancel();
  progress.Reset();
  EXPECT_FALSE(progress.Cancelled());
  EXPECT_EQ(progress.CounterCaption(translator), "File %d of %d");
}

}  // namespace
}  // namespace dpc
