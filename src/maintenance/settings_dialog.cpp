#include "maintenance/settings_dialog.h"

#include "platform/scope_exit.h"

namespace dpc {

TfrmSettingsDlg::TfrmSettingsDlg(MoveServices& services, SettingsDialogView& view)
    : s_(services), view_(view), moves_(services, view) {}

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
  // The dialog closes with OK also when a failure ends the moves early.
  const ScopeExit closeAtEnd([this] { view_.CloseDialog(); });
  for (const FolderRow& row : kFolderRows) {
    rows_[Index(row.number)].editText = view_.RowText(row.number);
  }
  moves_.Run(rows_, productGuid_, applicationFolder_);
  // Each moved row's hint now names its new folder; a refused or cancelled one keeps the old.
  for (const FolderRow& row : kFolderRows) {
    const FolderRowState& state = rows_[Index(row.number)];
    view_.SetRow(row.number, state.editText, state.storedValue);
  }
}

bool TfrmSettingsDlg::RequestCloseDuringMove() {
  if (!moves_.running()) return false;
  moves_.RequestClose();
  return true;
}

}  // namespace dpc
