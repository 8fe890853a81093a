#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "maintenance/folder_move.h"
#include "maintenance/folder_moves.h"
#include "maintenance/ticket.h"
#include "platform/failure.h"
#include "platform/operation.h"
#include "platform/window_id.h"

namespace dpc {

// The Server File Maintenance dialog's window as its logic drives it: the five folder rows, the
// folder browser, and (through MoveView) the progress window and message boxes of the moves.
class SettingsDlgView : public MoveView {
 public:
  // Row 1..5: the edit's text, and its hint (the folder the ticket names).
  virtual void SetRow(int row, const std::string& text, const std::string& hint) = 0;
  virtual std::string RowText(int row) = 0;
  // Hides the row's label, edit and button.
  virtual void HideRow(int row) = 0;
  virtual void FocusRow(int row) = 0;
  // The shell's folder browser, starting at initialFolder (none when empty), new folders allowed.
  // nullopt when the operator cancels or picks something that is not a file-system folder.
  virtual std::optional<std::string> BrowseForFolder(const std::string& initialFolder) = 0;
  // Ends the dialog (with OK or Cancel as the button that was pressed decided).
  virtual void CloseDialog() = 0;
};

// The dialog's events, as the window forwards them.
class SettingsDlgEvents {
 public:
  virtual ~SettingsDlgEvents() = default;
  virtual void FormCreate() = 0;
  // The designed handlers of the five browse buttons, rows 1 to 5.
  virtual void rpfbtnClick() = 0;
  virtual void mpfbtnClick() = 0;
  virtual void jfbtnClick() = 0;
  virtual void ofbtnClick() = 0;
  virtual void tfbtnClick() = 0;
  virtual void btnOKClick() = 0;
};

// The dialog's window, made by the Windows layer for one opening.
class SettingsDlgWindow : public SettingsDlgView {
 public:
  // Shows the dialog modally and returns once it has closed; FormCreate runs before it shows.
  virtual void RunModal(SettingsDlgEvents& events) = 0;
  // The interface language changed while the dialog was open: its captions again.
  virtual void Retranslate() = 0;
};

class SettingsDlgFactory {
 public:
  virtual ~SettingsDlgFactory() = default;
  // A dialog owned by the main window, its texts through the translator; failures that its
  // handlers raise go to reportFailure (the general error box).
  virtual std::unique_ptr<SettingsDlgWindow> Create(
      WindowId owner, const Translator& translator,
      std::function<void(const Failure&)> reportFailure) = 0;
};

// The Server File Maintenance dialog: the five folders the settings ticket names, a folder
// browser per row, and OK, which moves every changed folder in order, as the operation the main
// window steps; the dialog closes when the moves have ended. Reads the ticket afresh at every
// opening.
class TfrmSettingsDlg final : public SettingsDlgEvents {
 public:
  TfrmSettingsDlg(MoveServices& services, SettingsDlgView& view, OperationHost& operations);

  void FormCreate() override;
  void rpfbtnClick() override { BrowseClick(1); }
  void mpfbtnClick() override { BrowseClick(2); }
  void jfbtnClick() override { BrowseClick(3); }
  void ofbtnClick() override { BrowseClick(4); }
  void tfbtnClick() override { BrowseClick(5); }
  void btnOKClick() override;
  // The folder browser of row 1..5, starting at the folder the ticket names.
  void BrowseClick(int row);

  // Exit or WM_CLOSE of the controller: cancels the row being moved and skips the rest; the
  // dialog closes once that row is cleaned up. False when no move runs (close at once).
  bool RequestCloseDuringMove();
  // The moves OK started, while they run.
  FolderMoves* moves() const;
  const std::string& StoredValue(int row) const { return rows_.at(Index(row)).storedValue; }
  const std::string& productGuid() const { return productGuid_; }

 private:
  static size_t Index(int row) { return static_cast<size_t>(row - 1); }
  void MovesEnded();

  MoveServices& s_;
  SettingsDlgView& view_;
  OperationHost& operations_;
  std::array<FolderRowState, 5> rows_;
  std::string productGuid_;
  std::string applicationFolder_;
};

}  // namespace dpc
