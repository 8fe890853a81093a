#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/os_error.h"
#include "platform/window_id.h"

namespace dpc {

namespace show {
inline constexpr int kHide = 0;
inline constexpr int kShowNormal = 1;
inline constexpr int kShowMaximized = 3;
inline constexpr int kShow = 5;
}  // namespace show

// SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI.
inline constexpr uint32_t kShellExecuteMaskDdeWaitNoUi = 0x500;

// One ShellExecuteEx call. An empty verb is the file's default action.
struct ShellExecuteRequest {
  uint32_t mask = kShellExecuteMaskDdeWaitNoUi;
  WindowId owner = kNoWindow;
  std::string verb;
  std::string file;
  std::string parameters;
  std::string directory;
  int show = show::kShowNormal;
};

// The Windows shell: starting programs and documents, special folders.
class Shell {
 public:
  virtual ~Shell() = default;
  // ShellExecuteEx; nullopt on success, else the error. The started process is not waited for.
  virtual std::optional<OsError> ExecuteEx(const ShellExecuteRequest& request) = 0;
  // ShellExecute; returns its instance value (> 32 is success).
  virtual intptr_t Execute(WindowId owner, const std::string& verb, const std::string& file,
                           const std::string& parameters, const std::string& directory,
                           int show) = 0;
  // WinExec; returns its result (> 31 is success). The command line is handed over as written;
  // the program starts in `directory` (never the controller's current folder when it is empty:
  // the caller names one).
  virtual uint32_t WinExec(const std::string& commandLine, int show,
                           const std::string& directory) = 0;
  // SHGetFolderPath for a CSIDL value; empty when the folder is unknown.
  virtual std::string SpecialFolderPath(int csidl, bool create) = 0;
};

}  // namespace dpc
