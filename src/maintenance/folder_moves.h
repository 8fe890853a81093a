#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "i18n/translate.h"
#include "maintenance/folder_move.h"
#include "platform/host_window.h"
#include "platform/operation.h"

namespace dpc {

// The progress window as a move's own thread drives it: what the move shows, and its trace
// lines, wait in order until the window's thread delivers them; Cancel pressed there comes back
// through a flag. Each change wakes the window.
class ProgressRelay final : public ProgressView {
 public:
  using LogLine = std::function<void(const std::string& key, const std::string& value)>;

  explicit ProgressRelay(Waker& waker) : waker_(waker) {}

  // From the move's thread.
  void Open(const std::string& caption) override;
  void SetFileTotal(int64_t total) override;
  void StepFile() override;
  bool Cancelled() override { return cancelled_; }
  void Close() override;
  void BlockSessionEnd(const std::string& reason) override;
  void ShowPhase(const std::string& text) override;
  void Log(const std::string& key, const std::string& value);

  // From the window's thread: everything queued so far, to the window and the log.
  void Deliver(ProgressView& view, const LogLine& log);
  Waker& waker() { return waker_; }

 private:
  enum class Kind { kOpen, kFileTotal, kStepFiles, kClose, kBlockSessionEnd, kPhase, kLog };
  struct Change {
    Kind kind;
    std::string text;
    std::string value;
    int64_t number = 0;
  };
  void Queue(Change change);

  Waker& waker_;
  std::mutex mutex_;
  std::vector<Change> changes_;
  std::atomic<bool> cancelled_ = false;
};

// OK's work, as an operation: the rows moved in order 1 to 5, each on a thread of its own with
// its own progress window, and at most one message each, shown between rows. Unchanged rows are
// passed over; a failed ticket replace or registry write stops the rows after it; Exit or
// WM_CLOSE cancels the row in hand and stops the rest. The moves read texts in the language of
// OK's moment.
class FolderMoves final : public Operation {
 public:
  // How often the window looks when no news woke it.
  static constexpr uint32_t kStepIntervalMs = 200;

  // The moves OK asks for; nothing when no row changed, or when the server runs or another
  // operation does (said first).
  // `rows` and `view` must outlive the moves; `ended` is called once, when the last row is done.
  static std::unique_ptr<FolderMoves> Begin(MoveServices& services, MoveView& view,
                                            const OperationHost& host,
                                            std::array<FolderRowState, 5>& rows,
                                            const std::string& productGuid,
                                            const std::string& applicationFolder,
                                            std::function<void()> ended);
  ~FolderMoves() override;

  Progress Step() override;
  // The end of the session: the row in hand is cancelled and cleaned up before this returns.
  void Cancel() override;
  uint32_t StepIntervalMs() const override { return kStepIntervalMs; }

  // Exit or WM_CLOSE: the row in hand is cancelled, the rest skipped. From any thread.
  void RequestClose();
  bool closeRequested() const { return closeRequested_; }
  const std::vector<MoveResult>& results() const { return results_; }

 private:
  FolderMoves(MoveServices& services, MoveView& view, Waker& waker,
              std::array<FolderRowState, 5>& rows, std::string productGuid,
              std::string applicationFolder, std::function<void()> ended);
  Progress Advance();
  // The thread's row: its folder, its result, and its message.
  void EndRow(bool showMessage);
  bool StartNextRow();
  Progress Finish();
  void DeliverNews();

  MoveServices& s_;
  MoveView& view_;
  std::array<FolderRowState, 5>& rows_;
  const std::string productGuid_;
  const std::string applicationFolder_;
  std::function<void()> ended_;
  ProgressRelay relay_;
  const Translator translator_;
  MoveServices moverServices_;
  size_t next_ = 0;  // index of the next row in kFolderRows
  std::unique_ptr<MoveFolder> move_;
  FolderRowState* row_ = nullptr;
  std::thread mover_;
  std::atomic<bool> rowDone_ = false;
  std::exception_ptr failure_;
  std::atomic<bool> closeRequested_ = false;
  std::vector<MoveResult> results_;
};

}  // namespace dpc
