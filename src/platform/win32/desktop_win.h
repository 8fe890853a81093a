#pragma once

#include <string>
#include <string_view>

#include "platform/desktop.h"

namespace dpc::win32 {

class DesktopWin final : public Desktop {
 public:
  // Message boxes are owned by this window once it exists (kNoWindow until then).
  void SetMessageOwner(WindowId owner) { messageOwner_ = owner; }

  // Topmost and brought to the foreground: a tray program has no window of its own to raise.
  OsStatus ShowMessage(const std::string& title, const std::string& text) override;
  OsResult<bool> TopLevelWindowExists(const std::string& title) override;
  OsResult<std::optional<std::string>> ChooseFileToOpen(WindowId owner,
                                                        const std::string& initialDir,
                                                        const std::string& title,
                                                        const std::string& filter) override;

 private:
  WindowId messageOwner_ = kNoWindow;
};

// "Desc|*.exe|All|*.*" as the dialog wants it: every '|' a NUL, the whole ended by two NULs.
std::wstring OpenDialogFilter(std::string_view filter);

}  // namespace dpc::win32
