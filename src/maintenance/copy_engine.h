#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/translate.h"
#include "maintenance/copy_workers.h"
#include "maintenance/tree_guard.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_pump.h"

namespace dpc {

// The progress window of one folder move, as the move sees it.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // Creates and shows the window, labelled with the row's caption; the dialog hides meanwhile.
  virtual void Open(const std::string& caption) = 0;
  // FileTotal and the bar's maximum; not called for a tree without files.
  virtual void SetFileTotal(int64_t total) = 0;
  // One file done, copied or not.
  virtual void StepFile() = 0;
  // True once the operator pressed Cancel.
  virtual bool Cancelled() = 0;
  // Destroys the window; the dialog shows again.
  virtual void Close() = 0;
  // Asks Windows not to end the session while the window is open, with a reason the operator
  // reads on the shutdown screen; the request goes with the window at Close.
  virtual void BlockSessionEnd(const std::string& reason) { (void)reason; }
  // What the move does now, when it is not copying files ("Measuring the folder..."), in place
  // of the file counter until the next file; the text comes translated.
  virtual void ShowPhase(const std::string& text) = 0;
};

// The progress window's own state, apart from the window so its captions can be tested.
class CopyProgress {
 public:
  // FormCreate.
  void Reset() { *this = CopyProgress(); }
  void SetFileTotal(int64_t total) { fileTotal_ = total; }
  void StepFile() { ++filesDone_; }
  // btnCancelClick.
  void Cancel() { cancelled_ = true; }

  bool Cancelled() const { return cancelled_; }
  int64_t FilesDone() const { return filesDone_; }
  int64_t FileTotal() const { return fileTotal_; }
  // lbFileCount: "File %d of %d" as it stands until the first step, then "3 / 120".
  std::string CounterCaption(const Translator& translator) const;

 private:
  bool cancelled_ = false;
  int64_t filesDone_ = 0;
  int64_t fileTotal_ = 0;
};

// Something in a tree that keeps a move from being complete.
struct TreeProblem {
  enum class Kind {
    Unreadable,      // a folder that cannot be listed
    ReparsePoint,    // a junction or link: not followed
    NotCreated,      // a folder that could not be made at the new place
    CopyFailed,      // the file's copy failed
    Missing,         // not at the new place
    SizeDiffers,     // at the new place with another size
    ContentDiffers,  // a file that already stood at the new place holds other bytes
    SameFile,        // a file that already stood at the new place is the original itself
    IntoOldTree,     // a folder at the new place is one of the old tree's, reached by a link
    InexactName,     // a name that UTF-8 cannot hold exactly, which could be taken for another
  };
  Kind kind;
  std::string relative;  // below the tree's top, "" for the top itself
  std::optional<OsError> error;
};

// How many problems there were, and the first few of them.
class ProblemList {
 public:
  static constexpr size_t kKept = 8;
  void Add(TreeProblem problem);
  int64_t total() const { return count_; }
  bool none() const { return count_ == 0; }
  const std::vector<TreeProblem>& firstFew() const { return first_; }

 private:
  int64_t count_ = 0;
  std::vector<TreeProblem> first_;
};

struct TreeSize {
  uint64_t bytes = 0;     // every file the copy will copy, under any folder
  uint64_t occupied = 0;  // what the copies take on the target drive: see FolderSize
  int64_t files = 0;
  int64_t folders = 0;
  ProblemList problems;
  bool stopped = false;
};

struct CopyReport {
  bool cancelled = false;
  int64_t copied = 0;
  // Files whose copy failed, with the reason, by path below the top.
  std::map<std::string, OsError> failed;
  // Files that already stood at the new place and were kept.
  std::set<std::string> preexisting;
  ProblemList problems;  // folder problems met on the way
  // Why the walk stopped before its end, other than Cancel: a copying thread ended early.
  std::optional<OsError> aborted;
};

struct VerifyReport {
  bool cancelled = false;
  int64_t files = 0;
  ProblemList problems;
};

// GetDriveSpace's answer: -1 for both values when the drive cannot be used.
struct DriveSpaceResult {
  bool ok = false;
  int64_t freeBytes = -1;
  int64_t totalBytes = -1;
};

// How the old tree's recycling ended.
struct RecycleResult {
  enum class Kind {
    Recycled,
    NoRecycleBin,  // the drive has no bin that keeps what it is given
    Refused,       // the bin cannot take this tree (too large for it, say)
    Failed,        // the shell failed, or the folder is still there
  };
  Kind kind = Kind::Recycled;
  std::optional<OsError> error;
};

// The walks over one folder tree. The walks run on the calling (user-interface) thread and
// process pending window messages between entries, so the progress window stays live and its
// Cancel arrives; with workers, the files' bytes are copied on worker threads meanwhile. Walks go
// by an explicit stack: a deep tree cannot exhaust the thread's stack.
class CopyEngine {
 public:
  // True when the walk should stop after the entry in hand (Cancel, Exit).
  using StopCheck = std::function<bool()>;

  CopyEngine(FileSystem& files, MessagePump& pump, Clock& clock);

  // Files found by FolderSize and CountFiles since the caller last set it to 0.
  int64_t FileCounter = 0;

  // Bytes and files of the whole tree in 64 bits, folders named ".x" included, in one walk;
  // adds the files to FileCounter. Folders that cannot be listed and links come back as
  // problems (a copy of such a tree would be incomplete). With a cluster size, `occupied` is
  // what the copies take on a drive of that cluster size: each file rounded up to whole
  // clusters, and one cluster for each folder.
  TreeSize FolderSize(const std::string& path, const StopCheck& stop = {}, uint64_t cluster = 0);
  // The tree's files, added to FileCounter as well.
  int64_t CountFiles(const std::string& path);

  // With a guard, the walks check every folder they meet (see TreeGuard): FolderSize measures
  // the old tree's, CopyFolderTree and VerifyCopy find each of them as measured and hold those
  // they work in; CheckDestination and CopyFolderTree hold the new place's from then on.
  void UseGuard(TreeGuard* guard) { guard_ = guard; }

  // What already stands at the new place, before anything is written there: a link, or a
  // folder that is one of the old tree's, anywhere in it is a problem.
  ProblemList CheckDestination(const std::string& destination, const StopCheck& stop);

  // Files copied at once on worker threads by CopyFolderTree; 0 copies each file on the calling
  // thread. The folders are made, checked and held on the calling thread either way.
  void UseWorkers(int count) { workers_ = count; }

  // Copies the tree file by file, never over an existing file, stepping the view once per file
  // and stopping after the entry in hand once `stop` says so (with workers: no file is handed
  // to them after that, and those in hand finish and are counted before it returns).
  CopyReport CopyFolderTree(const std::string& source, const std::string& destination,
                            ProgressView& view, const StopCheck& stop);
  // Checks that every file of the source stands at the destination with its size (and, where
  // it stood there before the copy, with the same bytes) and every folder exists there.
  VerifyReport VerifyCopy(const std::string& source, const std::string& destination,
                          const CopyReport& copy, const StopCheck& stop);

  // To the recycle bin, and never anywhere else: where the system cannot refuse to delete for
  // good, a test file first shows that the drive's bin keeps what it is given. The tree stays
  // when the bin cannot take it.
  RecycleResult DeleteFolderTree(const std::string& path);
  // Name of that test file, put in the tree's top folder and recycled before the tree.
  static constexpr std::string_view kRecycleTestFile = "Durvin recycle bin test.tmp";
  DriveSpaceResult GetDriveSpace(char letter);

  // Window messages are processed at most this often during one file's copy.
  static constexpr uint64_t kPumpDuringFileMs = 50;

 private:
  void PumpBetweenEntries();
  void PumpDuringFile();
  // Folds finished files into the report and steps the view once for each.
  void TakeResults(std::vector<CopyWorkers::Result> results, CopyReport& report,
                   ProgressView& view);
  void AwaitResults(CopyWorkers& workers, CopyReport& report, ProgressView& view);
  // Cancel (marked in the report), or a worker that ended early.
  static bool Stopped(const StopCheck& stop, CopyWorkers& workers, CopyReport& report);
  static void Record(std::string relative, std::optional<OsError> error, CopyReport& report);
  std::optional<TreeProblem> HoldNew(const std::string& path, const std::string& relative);
  static std::optional<TreeProblem> OldFolderProblem(const TreeGuard::Check& held,
                                                     const std::string& relative);
  // An old folder met again, pinned below `parent` into `pin`; a problem when it is not one that
  // was measured.
  std::optional<TreeProblem> RecheckOld(const std::string& path, const std::string& relative,
                                        PinPtr parent, PinPtr& pin);
  RecycleResult ProveRecycleBin(const std::string& path);

  FileSystem& files_;
  MessagePump& pump_;
  Clock& clock_;
  uint64_t lastPump_ = 0;
  TreeGuard* guard_ = nullptr;
  int workers_ = 0;
};

// "a\b" from "a" and "b"; just "b" at the top.
std::string JoinRelative(std::string_view folder, std::string_view name);

}  // namespace dpc
