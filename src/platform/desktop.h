#pragma once

#include <optional>
#include <string>

#include "platform/window_id.h"

namespace dpc {

// The user's desktop: message boxes, other programs' windows, common dialogs.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Modal message box with an OK button; returns when the operator closes it.
  virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
  // True when a top-level window with exactly this title exists.
  virtual bool TopLevelWindowExists(const std::string& title) = 0;
  // The file-open dialog. filter is in "Description|*.ext" form. The chosen full path, or nullopt
  // when the operator cancels.
  virtual std::optional<std::string> ChooseFileToOpen(WindowId owner, const std::string& initialDir,
                                                      const std::string& title,
                                                      const std::string& filter) = 0;
};

}  // namespace dpc
