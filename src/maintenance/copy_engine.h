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
#include "platform/clock.h"
#include "platform/folders.h"
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
  int64_t count() const { return count_; }
  bool empty() const { return count_ == 0; }
  const std::vector<TreeProblem>& first() const { return first_; }

 private:
  int64_t count_ = 0;
  std::vector<TreeProblem> first_;
};

struct TreeSize {
  uint64_t bytes = 0;  // every file the copy will copy, under any folder
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

// The walks over one folder tree. Everything runs on the calling (user-interface) thread and
// processes pending window messages between entries, so the progress window stays live and its
// Cancel arrives. Walks go by an explicit stack: a deep tree cannot exhaust the thread's stack.
class CopyEngine {
 public:
  // True when the walk should stop after the entry in hand (Cancel, Exit).
  using StopCheck = std::function<bool()>;

  CopyEngine(FolderFileSystem& files, MessagePump& pump, Clock& clock);

  // Files found by FolderSize and CountFiles since the caller last set it to 0.
  int64_t FileCounter = 0;

  // Bytes and files of the whole tree in 64 bits, folders named ".x" included, in one walk;
  // adds the files to FileCounter. Folders that cannot be listed and reparse points come back
  // as problems (a copy of such a tree would be incomplete).
  TreeSize FolderSize(const std::string& path, const StopCheck& stop = {});
  // The tree's files, added to FileCounter as well.
  int64_t CountFiles(const std::string& path);

  // Copies the tree file by file, never over an existing file, stepping the view once per file
  // and stopping after the entry in hand once `stop` says so.
  CopyReport CopyFolderTree(const std::string& source, const std::string& destination,
                            ProgressView& view, const StopCheck& stop);
  // Checks that every file of the source stands at the destination with its size (and, where
  // it stood there before the copy, with the same bytes) and every folder exists there.
  VerifyReport VerifyCopy(const std::string& source, const std::string& destination,
                          const CopyReport& copy, const StopCheck& stop);

  // To the recycle bin; an error also when the folder is still there afterwards.
  std::optional<OsError> DeleteFolderTree(const std::string& path);
  DriveSpaceResult GetDriveSpace(char letter);

  // Window messages are processed at most this often during one file's copy.
  static constexpr uint64_t kPumpDuringFileMs = 50;

 private:
  void PumpBetweenEntries();
  void PumpDuringFile();

  FolderFileSystem& files_;
  MessagePump& pump_;
  Clock& clock_;
  uint64_t lastPump_ = 0;
};

// "a\b" from "a" and "b"; just "b" at the top.
std::string JoinRelative(std::string_view folder, std::string_view name);

}  // namespace dpc
