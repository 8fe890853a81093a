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
#include "maintenance/file_copy.h"
#include "maintenance/tree_guard.h"
#include "platform/file_system.h"

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
    Changed,         // changed after it was copied or checked, at either place
    Encrypted,       // an encrypted file: refused
    UsersCanChange,  // a folder at the new place that `detail` may change ("": anybody)
    OwnedByUser,     // a folder at the new place that belongs to `detail`, who is no administrator
    NotSecured,      // the old folder's permissions could not be given to the copy
  };
  Kind kind;
  std::string relative;  // below the tree's top, "" for the top itself
  std::optional<OsError> error;
  std::string detail = {};  // the account, for UsersCanChange and OwnedByUser
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
  // What the copy found of each file, copied or already there, by path below the top.
  std::map<std::string, CopiedFile> files;
  // Each old folder's permissions, by path below the top ("" the top's, with every entry).
  std::map<std::string, Permissions> folders;
};

struct VerifyReport {
  bool cancelled = false;
  int64_t files = 0;
  ProblemList problems;
  // Every old folder's entries as they were checked, by path below the top.
  std::map<std::string, std::vector<FolderEntry>> checked;
};

// How the old tree's permissions went to the copy.
struct SecureReport {
  bool cancelled = false;
  ProblemList problems;
  // Files and folders whose owner stayed Administrators, with the owner they had.
  std::vector<std::pair<std::string, std::string>> ownersNotCarried;
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

// The walks over one folder tree. The walks run on the calling thread (a folder move's own, apart
// from the window's) and ask the stop check between entries; with workers, the files' bytes are
// copied on worker threads meanwhile. Walks go
// by an explicit stack: a deep tree cannot exhaust the thread's stack. Below each tree's top,
// everything is reached through the handle of its folder (see TreeGuard), never by a path.
class CopyEngine {
 public:
  // True when the walk should stop after the entry in hand (Cancel, Exit).
  using StopCheck = std::function<bool()>;

  explicit CopyEngine(FileSystem& files);

  // Files found by FolderSize and CountFiles since the caller last set it to 0.
  int64_t FileCounter = 0;

  // Bytes and files of the whole tree in 64 bits, folders named ".x" included, in one walk;
  // adds the files to FileCounter, and records every folder's identity for the later walks.
  // Folders that cannot be listed, links, encrypted files and names UTF-8 cannot hold come back
  // as problems (a copy of such a tree would be incomplete). With a cluster size, `occupied` is
  // what the copies take on a drive of that cluster size: each file rounded up to whole
  // clusters (a sparse one by what it holds), and one cluster for each folder.
  TreeSize FolderSize(const std::string& path, const StopCheck& stop = {}, uint64_t cluster = 0);
  // The tree's files, added to FileCounter as well.
  int64_t CountFiles(const std::string& path);

  // What already stands at the new place, before anything is written there: a parent or folder
  // that is one of the old tree's, a link anywhere in it, or, for a top that holds files
  // already, one that ordinary users can change, are problems. An empty top is taken over: it
  // admits only administrators and SYSTEM from then on.
  ProblemList CheckDestination(const std::string& destination, const StopCheck& stop);

  // Files copied at once on worker threads by CopyFolderTree; 0 copies each file on the calling
  // thread. The folders are made, checked and held on the calling thread either way.
  void UseWorkers(int count) { workers_ = count; }

  // Copies the measured tree file by file, never over an existing file, stepping the view once
  // per file and stopping after the entry in hand once `stop` says so (with workers: no file is
  // handed to them after that, and those in hand finish and are counted before it returns).
  // Everything it makes admits only administrators and SYSTEM.
  CopyReport CopyFolderTree(const std::string& source, const std::string& destination,
                            ProgressView& view, const StopCheck& stop);
  // Checks that every file of the source stands at the destination as it was copied: the same
  // file at each place (by file id), with its size, last-write time and attributes, and, where
  // it stood there before the copy, with the same bytes; that every folder exists there; and
  // that no held folder has become a link since.
  VerifyReport VerifyCopy(const std::string& source, const std::string& destination,
                          const CopyReport& copy, const StopCheck& stop);
  // Gives the copy the old tree's permissions, top down: the top the old top's every entry,
  // protected; below it each its old own entries and protection, inheriting the rest from its
  // new parent. Owners are carried where the system lets this process set them.
  // With workers, the files of each folder are set on them once the folder is set. Stops before
  // the next folder once `stop` says so.
  SecureReport ApplyPermissions(const CopyReport& copy, const StopCheck& stop = {});
  // Whether the old tree still holds exactly what was checked: a file added or changed since
  // would go to the bin unseen.
  ProblemList OldTreeChanges(const VerifyReport& verify, const StopCheck& stop);

  // To the recycle bin, and never anywhere else: where the system cannot refuse to delete for
  // good, a test file first shows that the drive's bin keeps what it is given. The tree stays
  // when the bin cannot take it.
  RecycleResult DeleteFolderTree(const std::string& path);
  // Name of that test file, put in the tree's top folder and recycled before the tree.
  static constexpr std::string_view kRecycleTestFile = "Durvin recycle bin test.tmp";
  DriveSpaceResult GetDriveSpace(char letter);

  TreeGuard& guard() { return guard_; }

  // A walk that waits for a copying thread looks again this often, so Cancel is seen soon.
  static constexpr uint32_t kCollectWaitMs = 10;

 private:
  // Folds finished files into the report and steps the view once for each.
  void TakeResults(std::vector<CopyWorkers::Result> results, CopyReport& report,
                   ProgressView& view);
  void AwaitResults(CopyWorkers& workers, CopyReport& report, ProgressView& view);
  // Waits for the files in hand while a failure is on its way out.
  void FinishInHand(CopyWorkers& workers, CopyReport& report, ProgressView& view);
  // Cancel (marked in the report), or a worker that ended early.
  static bool Stopped(const StopCheck& stop, CopyWorkers& workers, CopyReport& report);
  static void Record(std::string relative, FileOutcome outcome, CopyReport& report);
  // An old folder met again below `parent` (the top: "" and nullptr), or a problem when it is
  // not the one measured there.
  std::optional<TreeProblem> PinOld(const std::string& relative, const std::string& name,
                                    const PinPtr& parent, bool measuring, PinPtr& pin);
  static std::optional<TreeProblem> NewFolderProblem(const TreeGuard::Check& held,
                                                     const std::string& relative);
  std::optional<TreeProblem> TakeOverEmptyTop(FileHandle& top);
  static std::optional<TreeProblem> ComparePreexisting(FileHandle& oldFolder, FileHandle& newFolder,
                                                       const std::string& name,
                                                       const std::string& relative);
  RecycleResult ProveRecycleBin(const std::string& path);

  FileSystem& files_;
  TreeGuard guard_;
  std::string oldTopName_;
  int workers_ = 0;
};

}  // namespace dpc
