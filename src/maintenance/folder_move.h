#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/translate.h"
#include "maintenance/copy_engine.h"
#include "maintenance/folder_rows.h"
#include "maintenance/path_rules.h"
#include "maintenance/ticket.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/registry.h"

namespace dpc {

// What a folder move needs from the controller.
struct MoveServices {
  FileSystem& files;
  AnsiCodePage& codePage;
  Registry& registry;
  const Translator& translator;
  SettingsTicket& ticket;
  // True while the server service is stopped. A move does not start, and does not rewrite the
  // ticket, otherwise.
  std::function<bool()> serverStopped;
  // WriteControlLog(key, value); may be empty.
  std::function<void(const std::string&, const std::string&)> writeLog;
  // Files copied at once on worker threads (CopyEngine::UseWorkers); 0 copies on this thread.
  int copyWorkers = 0;
};

struct MoveRequest {
  FolderRow row;
  std::string storedValue;  // the row's StoredValue
  std::string typedPath;    // the edit's text, as the operator typed or chose it
  std::string productGuid;  // braced; empty without "ProfileUpdater.xml"
  std::vector<OtherFolder> others;
};

enum class MoveStep {
  Check,
  Measure,
  Copy,
  Verify,
  Secure,  // the copies take the old tree's permissions
  RewriteTicket,
  InstallLocation,
  Recycle,
  Done
};

enum class MoveOutcome {
  Running,
  Unchanged,        // the edit holds StoredValue: nothing to do
  Refused,          // a path rule, the server's state or the tree's content; nothing was written
  NotEnoughSpace,   // "Not enough disk space!"
  Cancelled,        // Cancel, Exit or WM_CLOSE: old folder and ticket as they were
  NotMoved,         // files did not all arrive: old folder and ticket as they were
  TicketUnchanged,  // the ticket did not take the new folder: old folder kept
  TicketFailed,     // the ticket could not be replaced: old folder kept, later rows stop
  InstallLocationFailed,  // moved and in the ticket, registry not written: old folder kept, stop
  MovedOldFolderKept,     // moved and in the ticket; the old folder could not be recycled
  Moved,
  Failed,  // an unexpected failure was raised to the caller: later rows stop
};

struct MoveResult {
  MoveOutcome outcome = MoveOutcome::Running;
  std::string storedValue;  // the row's StoredValue after the move: the folder the ticket names
  std::string message;      // for the operator, translated; empty when there is nothing to say
  bool stopRemainingRows = false;
};

// Said when OK finds the server running, and when a row finds it started meanwhile.
inline constexpr std::string_view kServerRunning =
    UiText("The server is running. Stop it before moving its folders; nothing was changed.");

// Caption of every message of a folder move.
inline constexpr std::string_view kFolderErrorCaption = UiText("Folder error");

// The move of one row's folder tree (MoveFolder), as explicit steps: check, measure, copy,
// verify, give the copies the old tree's permissions, rewrite the ticket, record the install
// location (media profile row), recycle the old tree. Nothing is deleted that has not arrived
// whole at the new place, the old tree goes only after the ticket names the new one, only to the
// recycle bin, and only as it was checked. Both trees are walked through the handles of their
// folders, no link is followed at either place, and the new tree admits only administrators and
// SYSTEM until it is checked. A move runs on a thread of its own (see FolderMoves); the progress
// view is open from the measuring to the end of the move.
class MoveFolder {
 public:
  MoveFolder(MoveServices& services, ProgressView& view, MoveRequest request);
  ~MoveFolder();
  MoveFolder(const MoveFolder&) = delete;
  MoveFolder& operator=(const MoveFolder&) = delete;

  MoveStep step() const { return step_; }
  bool done() const { return step_ == MoveStep::Done; }
  // Runs the next step. A raised failure closes the progress view, ends the move as Failed and
  // is raised again.
  void Advance();
  void Run();
  // Exit or WM_CLOSE during the move: acts as Cancel for this row. Once the ticket has been
  // rewritten the move completes.
  // From any thread.
  void RequestCancel() { cancelRequested_ = true; }
  const MoveResult& result() const { return result_; }

 private:
  void Check();
  void Measure();
  void Copy();
  void Verify();
  void Secure();
  void NotMoved(const ProblemList& problems);
  void RewriteTicket();
  void RecordInstallLocation();
  void Recycle();
  bool Stopping();
  void Finish(MoveOutcome outcome, std::string message = {}, bool stopRemainingRows = false);
  void CloseView() noexcept;
  std::string Text(std::string_view pattern, std::initializer_list<std::string_view> args = {});
  std::string ProblemsMessage(const ProblemList& problems);
  void Log(const std::string& what);

  std::string DestinationMessage(const ProblemList& problems);
  // A line for each of the first few problems, then "and N more" for the rest; the lines are
  // joined by line breaks, with none before the first.
  std::string FirstProblems(const ProblemList& problems,
                            const std::function<std::string(const TreeProblem&)>& line);

  MoveServices& s_;
  ProgressView& view_;
  MoveRequest request_;
  CopyEngine engine_;
  PathRules rules_;
  MoveStep step_ = MoveStep::Check;
  MoveResult result_;
  std::string newPath_;
  TreeSize size_;
  CopyReport copy_;
  VerifyReport verify_;
  bool viewOpen_ = false;
  std::atomic<bool> cancelRequested_ = false;
  std::string logDetail_;  // said after the outcome in the trace line
};

// The dialog's windows as the OK flow sees them: the progress window and message boxes.
class MoveView : public ProgressView {
 public:
  // A message box with the error icon and an OK button; the texts come translated.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};

// One dialog row: the folder the ticket names, and the edit's text.
struct FolderRowState {
  std::string storedValue;
  std::string editText;
};

}  // namespace dpc
