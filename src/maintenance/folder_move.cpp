#include "maintenance/folder_move.h"

#include <limits>
#include <utility>

#include "i18n/failure_text.h"
#include "platform/uninstall_entry.h"

namespace dpc {
namespace {

constexpr size_t kShownNames = 5;

constexpr std::string_view kNotEnoughSpace = UiText("Not enough disk space!");
constexpr std::string_view kTreeNotMovable =
    UiText("\"%s\" cannot be moved as it is, so nothing was copied:");
constexpr std::string_view kTreeAdvice =
    UiText("Remove the links, or make the folders readable, and try again.");
constexpr std::string_view kLinkLine =
    UiText("%s: a link to another place (a junction or symbolic link), which is not followed");
constexpr std::string_view kUnreadableLine = UiText("%s: cannot be read (%s)");
constexpr std::string_view kInexactNameLine =
    UiText("%s: its name holds a character that cannot be read exactly; rename it");
constexpr std::string_view kMoreNames = UiText("and %d more");
constexpr std::string_view kOneFileNotMoved = UiText(
    "1 file could not be moved, so the old folder \"%s\" was kept and the server still uses it. "
    "The files already copied stay in \"%s\".");
constexpr std::string_view kFilesNotMoved = UiText(
    "%d files could not be moved, so the old folder \"%s\" was kept and the server still uses "
    "it. The files already copied stay in \"%s\".");
constexpr std::string_view kReasonContent = UiText(
    "A different file of the same name already stands in the new folder and was left as it was. "
    "Remove or rename it there, and try again.");
constexpr std::string_view kReasonIncomplete =
    UiText("The copies in the new folder are missing or incomplete.");
constexpr std::string_view kReasonNotCreated =
    UiText("A folder could not be created in the new folder.");
constexpr std::string_view kReasonLink =
    UiText("A link to another place (a junction or symbolic link) is not followed.");
constexpr std::string_view kReasonUnreadable = UiText("A folder could not be read.");
constexpr std::string_view kServerStarted = UiText(
    "The server was started during the move, so the settings ticket was not changed and the old "
    "folder \"%s\" was kept. Stop the server and try again.");
constexpr std::string_view kTicketFailed = UiText(
    "The settings ticket could not be changed, so the server still uses \"%s\" and the old "
    "folder was kept; the copies in \"%s\" are not used. The remaining folders were not moved.");
constexpr std::string_view kScratchRefused = UiText(
    "The scratch file \"%s\" beside the settings ticket could not be removed and made afresh; "
    "another program may hold it open.");
constexpr std::string_view kTicketMissing = UiText(
    "The settings ticket could not be replaced, and \"%s\" is missing now. Its old content is in "
    "\"%s\" and its new content in \"%s\": rename one of them to the ticket's name before the "
    "server starts. The old folder \"%s\" was kept. The remaining folders were not moved.");
constexpr std::string_view kSessionBlockReason =
    UiText("A server folder is being moved. It stops at the next safe point.");
constexpr std::string_view kTicketUnmatched = UiText(
    "The settings ticket does not name \"%s\" for this folder exactly once (it may have been "
    "changed since this window opened), so it was left as it was and the old folder was kept; "
    "the copies in \"%s\" are not used.");
constexpr std::string_view kTicketReadBack = UiText(
    "The settings ticket was changed, but reading it again does not give \"%s\" for this "
    "folder. The old folder \"%s\" was kept; check the server's settings.");
constexpr std::string_view kInstallLocationFailed = UiText(
    "The folder was moved and the settings ticket names \"%s\", but the product's install "
    "location could not be recorded, so the old folder \"%s\" was kept. The remaining folders "
    "were not moved.");
constexpr std::string_view kMeasuring = UiText("Measuring the folder...");
constexpr std::string_view kVerifying = UiText("Checking the copies...");
constexpr std::string_view kRecycling = UiText("Moving the old folder to the recycle bin...");
constexpr std::string_view kDestinationUnsafe =
    UiText("\"%s\" cannot be used as the new folder, so nothing was copied:");
constexpr std::string_view kDestinationAdvice =
    UiText("Choose another folder, or remove the links from it, and try again.");
constexpr std::string_view kDestinationTrustAdvice = UiText(
    "Choose an empty folder, or one that only administrators can change (as Program Files), and "
    "try again.");
constexpr std::string_view kIntoOldLine =
    UiText("%s: leads into the current folder \"%s\" through a link");
constexpr std::string_view kReasonSameFile = UiText(
    "A file in the new folder is the original file itself, reached through a link, and would go "
    "with the old folder. Remove the link from the new folder, and try again.");
constexpr std::string_view kReasonChanged =
    UiText("A file changed after it was copied, in the old folder or in the new one.");
constexpr std::string_view kEncryptedLine =
    UiText("%s: an encrypted file, which cannot be copied as it is; decrypt it, and try again");
constexpr std::string_view kUsersCanChangeLine =
    UiText("%s: already holds files, and %s may change it, delete it or change its permissions");
constexpr std::string_view kEveryoneCanChangeLine =
    UiText("%s: already holds files, and has no permissions set, so everyone may change it");
constexpr std::string_view kOwnedByUserLine =
    UiText("%s: already holds files, and belongs to %s, who is not an administrator");
constexpr std::string_view kTakeOverChangedLine =
    UiText("%s: something was put in it while it was being taken over");
constexpr std::string_view kOldTreeChanged = UiText(
    "The files were moved to \"%s\" and the server now uses them. The old folder \"%s\" stays "
    "where it was: these files in it changed after they were checked, so it was not put in the "
    "recycle bin. Compare them with the new folder, then delete the old one by hand:");
constexpr std::string_view kReasonIntoOld = UiText(
    "A folder in the new folder leads into the current folder through a link, so nothing was "
    "written into it.");
constexpr std::string_view kRecycleNoBin = UiText(
    "The files were moved to \"%s\" and the server now uses them. The old folder \"%s\" stays "
    "where it was: this drive has no recycle bin that would keep it, and it is never deleted for "
    "good. Delete it by hand once you no longer need it.");
constexpr std::string_view kRecycleRefused = UiText(
    "The files were moved to \"%s\" and the server now uses them. The old folder \"%s\" stays "
    "where it was: the recycle bin cannot take it (it may be larger than the bin allows), and it "
    "is never deleted for good. Delete it by hand once you no longer need it.");
constexpr std::string_view kRecycleFailed = UiText(
    "The files were moved to \"%s\" and the server now uses them, but the old folder \"%s\" "
    "could not be put in the recycle bin. Delete it by hand when convenient.");

std::string WithSystemError(const Translator& translator, std::string text, const OsError& error) {
  return text + "\r\n\r\n" + TranslateSystemError(translator, error.code, error.text);
}

std::string_view OutcomeName(MoveOutcome outcome) {
  switch (outcome) {
    case MoveOutcome::Running:
      return "running";
    case MoveOutcome::Unchanged:
      return "unchanged";
    case MoveOutcome::Refused:
      return "refused";
    case MoveOutcome::NotEnoughSpace:
      return "not enough disk space";
    case MoveOutcome::Cancelled:
      return "cancelled";
    case MoveOutcome::NotMoved:
      return "files not moved, old folder kept";
    case MoveOutcome::TicketUnchanged:
      return "ticket not changed, old folder kept";
    case MoveOutcome::TicketFailed:
      return "ticket replace failed, old folder kept";
    case MoveOutcome::InstallLocationFailed:
      return "install location not written, old folder kept";
    case MoveOutcome::MovedOldFolderKept:
      return "moved, old folder could not be recycled";
    case MoveOutcome::Moved:
      return "moved";
    case MoveOutcome::Failed:
      return "failed";
  }
  return "";
}

}  // namespace

MoveFolder::MoveFolder(MoveServices& services, ProgressView& view, MoveRequest request)
    : s_(services),
      view_(view),
      request_(std::move(request)),
      engine_(services.files),
      rules_(services.files, services.codePage, services.translator) {
  result_.storedValue = request_.storedValue;
  engine_.UseWorkers(services.copyWorkers);
}

MoveFolder::~MoveFolder() { CloseView(); }

void MoveFolder::Run() {
  while (!done()) Advance();
}

void MoveFolder::Advance() {
  try {
    switch (step_) {
      case MoveStep::Check:
        return Check();
      case MoveStep::Measure:
        return Measure();
      case MoveStep::Copy:
        return Copy();
      case MoveStep::Verify:
        return Verify();
      case MoveStep::Secure:
        return Secure();
      case MoveStep::RewriteTicket:
        return RewriteTicket();
      case MoveStep::InstallLocation:
        return RecordInstallLocation();
      case MoveStep::Recycle:
        return Recycle();
      case MoveStep::Done:
        return;
    }
  } catch (...) {
    CloseView();
    result_.outcome = MoveOutcome::Failed;
    result_.stopRemainingRows = true;
    step_ = MoveStep::Done;
    throw;
  }
}

bool MoveFolder::Stopping() { return cancelRequested_ || (viewOpen_ && view_.Cancelled()); }

void MoveFolder::Check() {
  if (request_.typedPath == request_.storedValue) return Finish(MoveOutcome::Unchanged);
  if (Stopping()) return Finish(MoveOutcome::Cancelled);
  if (!s_.serverStopped()) return Finish(MoveOutcome::Refused, Text(kServerRunning));
  const PathVerdict verdict = rules_.Check(
      {request_.storedValue, request_.typedPath, request_.others, s_.ticket.DeclaredCodePage()});
  if (!verdict.accepted) return Finish(MoveOutcome::Refused, verdict.message);
  newPath_ = verdict.newPath;
  step_ = MoveStep::Measure;
}

void MoveFolder::Measure() {
  // The window is up from here, so that Cancel reaches a long measuring too.
  view_.Open(s_.translator.Translate(request_.row.label));
  viewOpen_ = true;
  // Windows lets only a visible window hold up the end of the session, and shows its reason.
  view_.BlockSessionEnd(Text(kSessionBlockReason));
  view_.ShowPhase(Text(kMeasuring));
  const char drive = newPath_[0];
  const auto cluster = s_.files.ClusterSize(drive);
  const auto stop = [this] { return Stopping(); };
  engine_.FileCounter = 0;
  size_ = engine_.FolderSize(request_.storedValue, stop, cluster ? *cluster : 1);
  if (size_.stopped || Stopping()) return Finish(MoveOutcome::Cancelled);
  if (!size_.problems.none()) {
    return Finish(MoveOutcome::Refused, Text(kTreeNotMovable, {request_.storedValue}) + "\r\n" +
                                            ProblemsMessage(size_.problems) + "\r\n\r\n" +
                                            Text(kTreeAdvice));
  }
  // Before anything is written: the new folder's parents and whatever already stands in it.
  const ProblemList unsafe = engine_.CheckDestination(newPath_, stop);
  if (Stopping()) return Finish(MoveOutcome::Cancelled);
  if (!unsafe.none()) {
    const TreeProblem::Kind first = unsafe.firstFew().front().kind;
    logDetail_ =
        first == TreeProblem::Kind::UsersCanChange || first == TreeProblem::Kind::OwnedByUser
            ? "ordinary users can change the new folder"
            : "the new folder holds a link";
    return Finish(MoveOutcome::Refused, DestinationMessage(unsafe));
  }
  // Each copy takes whole clusters, and each folder one more; exactly the tree's bytes free is
  // not enough then.
  const DriveSpaceResult space = engine_.GetDriveSpace(drive);
  if (!cluster || !space.ok || space.freeBytes < 0 ||
      static_cast<uint64_t>(space.freeBytes) < size_.occupied) {
    return Finish(MoveOutcome::NotEnoughSpace, Text(kNotEnoughSpace));
  }
  if (engine_.FileCounter > 0) view_.SetFileTotal(engine_.FileCounter);
  step_ = MoveStep::Copy;
}

void MoveFolder::Copy() {
  copy_ =
      engine_.CopyFolderTree(request_.storedValue, newPath_, view_, [this] { return Stopping(); });
  if (copy_.cancelled || Stopping()) return Finish(MoveOutcome::Cancelled);
  step_ = MoveStep::Verify;
}

void MoveFolder::Verify() {
  view_.ShowPhase(Text(kVerifying));
  verify_ =
      engine_.VerifyCopy(request_.storedValue, newPath_, copy_, [this] { return Stopping(); });
  if (verify_.cancelled || Stopping()) return Finish(MoveOutcome::Cancelled);
  const ProblemList& problems = verify_.problems.none() ? copy_.problems : verify_.problems;
  if (problems.none()) {
    step_ = MoveStep::Secure;
    return;
  }
  NotMoved(problems);
}

void MoveFolder::Secure() {
  if (Stopping()) return Finish(MoveOutcome::Cancelled);
  const SecureReport secured = engine_.ApplyPermissions(copy_, [this] { return Stopping(); });
  if (secured.cancelled || Stopping()) return Finish(MoveOutcome::Cancelled);
  for (const auto& [relative, owner] : secured.ownersNotCarried) {
    Log("owner " + owner + " not carried to " + (relative.empty() ? newPath_ : relative) +
        ", Administrators own it");
  }
  if (!secured.problems.none()) return NotMoved(secured.problems);
  step_ = MoveStep::RewriteTicket;
}

void MoveFolder::NotMoved(const ProblemList& problems) {
  const int64_t count = problems.total();
  std::string text =
      count == 1 ? Text(kOneFileNotMoved, {request_.storedValue, newPath_})
                 : Text(kFilesNotMoved, {std::to_string(count), request_.storedValue, newPath_});
  text += "\r\n\r\n" + FirstProblems(problems, [this](const TreeProblem& problem) {
            return problem.relative.empty() ? request_.storedValue : problem.relative;
          });

  const TreeProblem& first = problems.firstFew().front();
  std::optional<OsError> reason = copy_.aborted ? copy_.aborted : first.error;
  if (!reason && !copy_.failed.empty()) reason = copy_.failed.begin()->second;
  if (reason) {
    text = WithSystemError(s_.translator, text, *reason);
  } else {
    std::string_view why = kReasonIncomplete;
    switch (first.kind) {
      case TreeProblem::Kind::ContentDiffers:
        why = kReasonContent;
        break;
      case TreeProblem::Kind::NotCreated:
        why = kReasonNotCreated;
        break;
      case TreeProblem::Kind::ReparsePoint:
        why = kReasonLink;
        break;
      case TreeProblem::Kind::Unreadable:
        why = kReasonUnreadable;
        break;
      case TreeProblem::Kind::SameFile:
        why = kReasonSameFile;
        break;
      case TreeProblem::Kind::IntoOldTree:
        why = kReasonIntoOld;
        break;
      case TreeProblem::Kind::Changed:
        why = kReasonChanged;
        break;
      default:
        break;
    }
    text += "\r\n\r\n" + Text(why);
  }
  Finish(MoveOutcome::NotMoved, std::move(text));
}

void MoveFolder::RewriteTicket() {
  if (Stopping()) return Finish(MoveOutcome::Cancelled);
  if (!s_.serverStopped()) {
    return Finish(MoveOutcome::Refused, Text(kServerStarted, {request_.storedValue}));
  }
  const std::string open(request_.row.openTag);
  const std::string close(request_.row.closeTag);
  const TicketRewrite rewrite = s_.ticket.ReplaceInTicket(
      open + request_.storedValue + close, open + newPath_ + close,
      ExpectedValue{request_.row.openTag, request_.row.closeTag, newPath_});
  if (rewrite.error) {
    std::string text = Text(kTicketFailed, {request_.storedValue, newPath_});
    if (rewrite.ticketMissing) {
      text = Text(kTicketMissing, {s_.ticket.TicketPath(), s_.ticket.BackupPath(),
                                   s_.ticket.ScratchPath(), request_.storedValue});
    }
    if (!rewrite.refusedFile.empty())
      text += "\r\n\r\n" + Text(kScratchRefused, {rewrite.refusedFile});
    return Finish(MoveOutcome::TicketFailed,
                  WithSystemError(s_.translator, std::move(text), *rewrite.error), true);
  }
  if (!rewrite.written) {
    return Finish(MoveOutcome::TicketUnchanged,
                  Text(kTicketUnmatched, {request_.storedValue, newPath_}));
  }
  result_.storedValue = newPath_;
  std::string readBack;
  try {
    readBack = s_.ticket.ReadFolderSettings().Folder(request_.row.number);
  } catch (const SystemError& error) {
    return Finish(MoveOutcome::TicketUnchanged,
                  Text(kTicketReadBack, {newPath_, request_.storedValue}) + "\r\n\r\n" +
                      DescribeFailure(s_.translator, error));
  }
  if (readBack != newPath_) {
    return Finish(MoveOutcome::TicketUnchanged,
                  Text(kTicketReadBack, {newPath_, request_.storedValue}));
  }
  const bool recordsInstallLocation =
      request_.row.number == kMediaProfileRow && !request_.productGuid.empty();
  step_ = recordsInstallLocation ? MoveStep::InstallLocation : MoveStep::Recycle;
}

void MoveFolder::RecordInstallLocation() {
  step_ = MoveStep::Recycle;
  // An identifier with a backslash would name some other key below the uninstall entries.
  if (request_.productGuid.find('\\') != std::string::npos) return;
  const std::string path = kUninstallKeyPrefix + request_.productGuid;
  if (!s_.registry.OpenMachineKey(path, KeyAccess::Read)) return;  // no key: nothing is written
  const auto fail = [&](const OsError& error) {
    Finish(MoveOutcome::InstallLocationFailed,
           WithSystemError(s_.translator,
                           Text(kInstallLocationFailed, {newPath_, request_.storedValue}), error),
           true);
  };
  auto key = s_.registry.OpenMachineKey(path, KeyAccess::Full);
  if (!key) return fail(key.error());
  if (const OsStatus written = (*key)->WriteString("InstallLocation", newPath_); !written)
    return fail(written.error());
}

void MoveFolder::Recycle() {
  view_.ShowPhase(Text(kRecycling));
  // Only what was checked goes: a file that reached the old tree since would be lost from view.
  if (const ProblemList changes = engine_.OldTreeChanges(verify_, {}); !changes.none()) {
    logDetail_ = "the old folder changed after it was checked, not recycled";
    return Finish(
        MoveOutcome::MovedOldFolderKept,
        Text(kOldTreeChanged, {newPath_, request_.storedValue}) + "\r\n\r\n" +
            FirstProblems(changes, [](const TreeProblem& problem) { return problem.relative; }));
  }
  const RecycleResult recycled = engine_.DeleteFolderTree(request_.storedValue);
  std::string systemText;
  if (recycled.error) {
    // One line for the trace log.
    std::string text = recycled.error->text;
    for (char& c : text) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    systemText =
        " (" + recycled.error->api + " " + std::to_string(recycled.error->code) + ": " + text + ")";
  }
  switch (recycled.kind) {
    case RecycleResult::Kind::Recycled:
      return Finish(MoveOutcome::Moved);
    case RecycleResult::Kind::NoRecycleBin:
      logDetail_ = "no recycle bin for that drive, not deleted for good" + systemText;
      return Finish(MoveOutcome::MovedOldFolderKept,
                    Text(kRecycleNoBin, {newPath_, request_.storedValue}));
    case RecycleResult::Kind::Refused:
      logDetail_ = "the recycle bin cannot take it, not deleted for good" + systemText;
      return Finish(MoveOutcome::MovedOldFolderKept,
                    Text(kRecycleRefused, {newPath_, request_.storedValue}));
    case RecycleResult::Kind::Failed:
      break;
  }
  logDetail_ = systemText.empty() ? systemText : systemText.substr(1);
  const OsError error = recycled.error.value_or(OsError{0, "SHFileOperationW", ""});
  Finish(MoveOutcome::MovedOldFolderKept,
         WithSystemError(s_.translator, Text(kRecycleFailed, {newPath_, request_.storedValue}),
                         error));
}

std::string MoveFolder::DestinationMessage(const ProblemList& problems) {
  const std::string lines = FirstProblems(problems, [this](const TreeProblem& problem) {
    const std::string name = problem.relative.empty() ? newPath_ : problem.relative;
    if (problem.kind == TreeProblem::Kind::ReparsePoint) return Text(kLinkLine, {name});
    if (problem.kind == TreeProblem::Kind::IntoOldTree) {
      return Text(kIntoOldLine, {name, request_.storedValue});
    }
    if (problem.kind == TreeProblem::Kind::UsersCanChange) {
      return problem.detail.empty() ? Text(kEveryoneCanChangeLine, {name})
                                    : Text(kUsersCanChangeLine, {name, problem.detail});
    }
    if (problem.kind == TreeProblem::Kind::OwnedByUser) {
      return Text(kOwnedByUserLine, {name, problem.detail});
    }
    if (problem.kind == TreeProblem::Kind::Changed) return Text(kTakeOverChangedLine, {name});
    return Text(kUnreadableLine, {name, problem.error ? problem.error->text : ""});
  });
  const TreeProblem::Kind first = problems.firstFew().front().kind;
  const bool untrusted =
      first == TreeProblem::Kind::UsersCanChange || first == TreeProblem::Kind::OwnedByUser;
  return Text(kDestinationUnsafe, {newPath_}) + "\r\n" + lines + "\r\n\r\n" +
         Text(untrusted ? kDestinationTrustAdvice : kDestinationAdvice);
}

void MoveFolder::Finish(MoveOutcome outcome, std::string message, bool stopRemainingRows) {
  result_.outcome = outcome;
  result_.message = std::move(message);
  result_.stopRemainingRows = stopRemainingRows;
  step_ = MoveStep::Done;
  CloseView();
  if (outcome != MoveOutcome::Unchanged) {
    Log(std::string(OutcomeName(outcome)) + (logDetail_.empty() ? "" : ": " + logDetail_));
  }
}

void MoveFolder::CloseView() noexcept {
  if (!viewOpen_) return;
  viewOpen_ = false;
  try {
    view_.Close();
  } catch (...) {
    // The window is gone either way; the move's own outcome is what matters.
  }
}

std::string MoveFolder::Text(std::string_view pattern,
                             std::initializer_list<std::string_view> args) {
  return s_.translator.Format(pattern, args);
}

std::string MoveFolder::ProblemsMessage(const ProblemList& problems) {
  return FirstProblems(problems, [this](const TreeProblem& problem) {
    const std::string name = problem.relative.empty() ? request_.storedValue : problem.relative;
    if (problem.kind == TreeProblem::Kind::ReparsePoint) return Text(kLinkLine, {name});
    if (problem.kind == TreeProblem::Kind::InexactName) return Text(kInexactNameLine, {name});
    if (problem.kind == TreeProblem::Kind::Encrypted) return Text(kEncryptedLine, {name});
    // The system's own words where it has them; its code otherwise.
    std::string why;
    if (problem.error) {
      why = !problem.error->text.empty()
                ? problem.error->text
                : TranslateSystemError(s_.translator, problem.error->code, "");
      while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    }
    return Text(kUnreadableLine, {name, why});
  });
}

std::string MoveFolder::FirstProblems(const ProblemList& problems,
                                      const std::function<std::string(const TreeProblem&)>& line) {
  std::string lines;
  size_t shown = 0;
  for (const TreeProblem& problem : problems.firstFew()) {
    if (shown == kShownNames) break;
    if (shown > 0) lines += "\r\n";
    lines += line(problem);
    ++shown;
  }
  const int64_t rest = problems.total() - static_cast<int64_t>(shown);
  if (rest > 0) lines += "\r\n" + Text(kMoreNames, {std::to_string(rest)});
  return lines;
}

void MoveFolder::Log(const std::string& what) {
  if (!s_.writeLog) return;
  try {
    s_.writeLog("Server File Maintenance",
                std::string(request_.row.element) + " " + request_.storedValue + " -> " +
                    (newPath_.empty() ? request_.typedPath : newPath_) + ": " + what);
  } catch (...) {
    // The trace log never stops a move.
  }
}

}  // namespace dpc
