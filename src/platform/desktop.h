#pragma once

#include <optional>
#include <string>

#include "platform/os_result.h"
#include "platform/window_id.h"

namespace dpc {

// The user's desktop: message boxes, other programs' windows, common dialogs.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Modal message box with an OK button; returns when the operator closes it, or at once with
  // the error when the box cannot be shown.
  virtual OsStatus ShowMessage(const std::string& title, const std::string& text) = 0;
  // True when a top-level window with exactly this title exists; an error when the search failed.
  virtual OsResult<bool> TopLevelWindowExists(const std::string& title) = 0;
  // The file-open dialog. filter is in "Description|*.ext" form. The chosen full path, or nullopt
  // when the operator cancels; an error when the dialog failed (its code is the common dialogs'
  // own, CommDlgExtendedError, not a system error code).
  virtual OsResult<std::optional<std::string>> ChooseFileToOpen(WindowId owner,
                                                                const std::string& initialDir,
                                                                const std::string& title,
                                                                const std::string& filter) = 0;
};

}  // namespace dpc
