#include "maintenance/settings_dlg.h"

#include <memory>
#include <utility>

namespace dpc {

TfrmSettingsDlg::TfrmSettingsDlg(MoveServices& services, SettingsDlgView& view,
                                 OperationHost& operations)
    : s_(services), view_(view), operations_(operations) {}

void TfrmSettingsDlg::FormCreate() {
  const FolderSettings folders = s_.ticket.ReadFolderSettings();
  for (const FolderRow& row : kFolderRows) {
    FolderRowState& state = rows_[Index(row.number)];
    state.storedValue = folders.Folder(row.number);
    state.editText = state.storedValue;
    view_.SetRow(row.number, state.editText, state.storedValue);
  }
  applicationFolder_ = folders.ApplicationFolder;
  const ProductGuidResult product = s_.ticket.ReadProductGuid(applicationFolder_);
  productGuid_ = product.exists ? product.ProductGuid : std::string();
  // Without the profile updater's file there is no product to record the media folder for.
  if (!product.exists) view_.HideRow(kMediaProfileRow);
}

void TfrmSettingsDlg::BrowseClick(int row) {
  // From the folder the ticket names, not from what the edit holds now.
  if (const auto chosen = view_.BrowseForFolder(rows_[Index(row)].storedValue)) {
    view_.SetRow(row, *chosen, rows_[Index(row)].storedValue);
  }
  view_.FocusRow(row);
}

void TfrmSettingsDlg::btnOKClick() {
  std::unique_ptr<FolderMoves> moves;
  try {
    for (const FolderRow& row : kFolderRows) {
      rows_[Index(row.number)].editText = view_.RowText(row.number);
    }
    moves = FolderMoves::Begin(s_, view_, operations_, rows_, productGuid_, applicationFolder_,
                               [this] { MovesEnded(); });
  } catch (...) {
    // The dialog closes with OK also when a failure ends it early.
    view_.CloseDialog();
    throw;
  }
  if (!moves) return view_.CloseDialog();
  (void)operations_.Start(std::move(moves));
}

void TfrmSettingsDlg::MovesEnded() {
  // Each moved row's hint now names its new folder; a refused or cancelled one keeps the old.
  for (const FolderRow& row : kFolderRows) {
    const FolderRowState& state = rows_[Index(row.number)];
    view_.SetRow(row.number, state.editText, state.storedValue);
  }
  view_.CloseDialog();
}

FolderMoves* TfrmSettingsDlg::moves() const { return operations_.As<FolderMoves>(); }

bool TfrmSettingsDlg::RequestCloseDuringMove() {
  FolderMoves* running = moves();
  if (!running) return false;
  running->RequestClose();
  return true;
}

}  // namespace dpc
