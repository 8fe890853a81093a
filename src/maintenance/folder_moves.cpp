#include "maintenance/folder_moves.h"

#include <utility>

namespace dpc {

void ProgressRelay::Queue(Change change) {
  {
    std::lock_guard lock(mutex_);
    changes_.push_back(std::move(change));
  }
  waker_.Wake();
}

void ProgressRelay::Open(const std::string& caption) { Queue({Kind::kOpen, caption, {}}); }

void ProgressRelay::SetFileTotal(int64_t total) { Queue({Kind::kFileTotal, {}, {}, total}); }

void ProgressRelay::StepFile() {
  {
    // Files come faster than the window looks: one change counts them all.
    std::lock_guard lock(mutex_);
    if (!changes_.empty() && changes_.back().kind == Kind::kStepFiles) {
      ++changes_.back().number;
      return;
    }
  }
  Queue({Kind::kStepFiles, {}, {}, 1});
}

void ProgressRelay::Close() { Queue({Kind::kClose, {}, {}}); }

void ProgressRelay::BlockSessionEnd(const std::string& reason) {
  Queue({Kind::kBlockSessionEnd, reason, {}});
}

void ProgressRelay::ShowPhase(const std::string& text) { Queue({Kind::kPhase, text, {}}); }

void ProgressRelay::Log(const std::string& key, const std::string& value) {
  Queue({Kind::kLog, key, value});
}

void ProgressRelay::Deliver(ProgressView& view, const LogLine& log) {
  std::vector<Change> changes;
  {
    std::lock_guard lock(mutex_);
    changes.swap(changes_);
  }
  for (const Change& change : changes) {
    switch (change.kind) {
      case Kind::kOpen:
        view.Open(change.text);
        break;
      case Kind::kFileTotal:
        view.SetFileTotal(change.number);
        break;
      case Kind::kStepFiles:
        for (int64_t i = 0; i < change.number; ++i) view.StepFile();
        break;
      case Kind::kClose:
        view.Close();
        break;
      case Kind::kBlockSessionEnd:
        view.BlockSessionEnd(change.text);
        break;
      case Kind::kPhase:
        view.ShowPhase(change.text);
        break;
      case Kind::kLog:
        if (log) log(change.text, change.value);
        break;
    }
  }
  // The move asks only while its window is open.
  if (view.Cancelled()) cancelled_ = true;
}

std::unique_ptr<FolderMoves> FolderMoves::Begin(MoveServices& services, MoveView& view,
                                                const OperationHost& host,
                                                std::array<FolderRowState, 5>& rows,
                                                const std::string& productGuid,
                                                const std::string& applicationFolder,
                                                std::function<void()> ended) {
  bool changed = false;
  for (const FolderRowState& row : rows) changed = changed || row.editText != row.storedValue;
  if (!changed) return nullptr;
  // Only a restart's wait can run beside the dialog, and only while the server is not yet stopped.
  if (host.running() || !services.serverStopped()) {
    view.ShowMessage(services.translator.Translate(kServerRunning),
                     services.translator.Translate(kFolderErrorCaption));
    return nullptr;
  }
  return std::unique_ptr<FolderMoves>(new FolderMoves(
      services, view, host.waker(), rows, productGuid, applicationFolder, std::move(ended)));
}

FolderMoves::FolderMoves(MoveServices& services, MoveView& view, Waker& waker,
                         std::array<FolderRowState, 5>& rows, std::string productGuid,
                         std::string applicationFolder, std::function<void()> ended)
    : s_(services),
      view_(view),
      rows_(rows),
      productGuid_(std::move(productGuid)),
      applicationFolder_(std::move(applicationFolder)),
      ended_(std::move(ended)),
      relay_(waker),
      translator_(services.translator),
      moverServices_{
          services.files,
          services.codePage,
          services.registry,
          translator_,
          services.ticket,
          services.serverStopped,
          [this](const std::string& key, const std::string& value) { relay_.Log(key, value); },
          services.copyWorkers} {}

FolderMoves::~FolderMoves() {
  if (!mover_.joinable()) return;
  // Only when the operation was dropped unfinished: the move must not outlive what it uses.
  if (move_) move_->RequestCancel();
  mover_.join();
}

Operation::Progress FolderMoves::Step() {
  try {
    return Advance();
  } catch (...) {
    // The dialog closes with OK also when a failure ends the moves early.
    if (mover_.joinable()) {
      if (move_) move_->RequestCancel();
      mover_.join();
    }
    (void)Finish();
    throw;
  }
}

Operation::Progress FolderMoves::Advance() {
  DeliverNews();
  if (move_) {
    if (!rowDone_) return Progress::kRunning;
    EndRow(true);
    if (!results_.empty() && results_.back().stopRemainingRows) return Finish();
  }
  if (!StartNextRow()) return Finish();
  return Progress::kRunning;
}

void FolderMoves::DeliverNews() { relay_.Deliver(view_, s_.writeLog); }

void FolderMoves::EndRow(bool showMessage) {
  mover_.join();
  DeliverNews();  // what came after the last look
  std::unique_ptr<MoveFolder> move = std::move(move_);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  row_->storedValue = move->result().storedValue;
  results_.push_back(move->result());
  if (showMessage && !move->result().message.empty()) {
    view_.ShowMessage(move->result().message, s_.translator.Translate(kFolderErrorCaption));
  }
}

bool FolderMoves::StartNextRow() {
  if (closeRequested_ || next_ == kFolderRows.size()) return false;
  const FolderRow& row = kFolderRows[next_++];
  row_ = &rows_[static_cast<size_t>(row.number - 1)];
  MoveRequest request{row, row_->storedValue, row_->editText, productGuid_, {}};
  for (const FolderRow& other : kFolderRows) {
    if (other.number != row.number) {
      request.others.push_back(
          {other.label, rows_[static_cast<size_t>(other.number - 1)].storedValue});
    }
  }
  request.others.push_back({UiText("Settings ticket folder:"), s_.ticket.TicketFolder});
  request.others.push_back({UiText("Application folder:"), applicationFolder_});

  move_ = std::make_unique<MoveFolder>(moverServices_, relay_, std::move(request));
  if (closeRequested_) move_->RequestCancel();
  rowDone_ = false;
  Waker& waker = relay_.waker();
  mover_ = std::thread([this, &waker] {
    try {
      move_->Run();
    } catch (...) {
      failure_ = std::current_exception();
    }
    rowDone_ = true;
    waker.Wake();
  });
  return true;
}

void FolderMoves::RequestClose() {
  closeRequested_ = true;
  if (move_) move_->RequestCancel();
}

void FolderMoves::Cancel() {
  RequestClose();
  if (!mover_.joinable()) return (void)Finish();
  try {
    EndRow(false);  // no message box: the session is ending
  } catch (...) {
    // The move cleaned up before its failure came back; nothing is left to show it to.
  }
  (void)Finish();
}

Operation::Progress FolderMoves::Finish() {
  if (std::function<void()> ended = std::exchange(ended_, nullptr)) ended();
  return Progress::kDone;
}

}  // namespace dpc
