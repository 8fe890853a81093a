#pragma once

#include <cstdint>
#include <string>

#include "platform/flags.h"
#include "platform/os_result.h"
#include "platform/window_id.h"

namespace dpc {

// How a started program shows its first window.
enum class ShowMode { Hide, Normal, Maximized, Show };

// What ShellExecuteEx is told besides the file; combine with |.
enum class ExecuteFlags : uint32_t {
  None = 0,
  WaitForDde = 1,  // wait for a DDE conversation to finish before returning
  NoErrorUi = 2,   // the shell shows no error dialog; the caller reports the error
};
template <>
inline constexpr bool kFlagSet<ExecuteFlags> = true;

// One ShellExecuteEx call. An empty verb is the file's default action.
struct ShellExecuteRequest {
  ExecuteFlags flags = ExecuteFlags::WaitForDde | ExecuteFlags::NoErrorUi;
  WindowId owner = kNoWindow;
  std::string verb;
  std::string file;
  std::string parameters;
  std::string directory;
  ShowMode show = ShowMode::Normal;
};

// The folders the controller asks the shell for.
enum class SpecialFolder {
  System,         // System32
  CommonAppData,  // the machine-wide application data ("C:\ProgramData")
};

// The Windows shell: starting programs and documents, special folders. A failure carries the
// system's code and the API's name; a started process is never waited for.
class Shell {
 public:
  virtual ~Shell() = default;
  // ShellExecuteEx.
  virtual OsStatus ExecuteEx(const ShellExecuteRequest& request) = 0;
  // ShellExecute.
  virtual OsStatus Execute(WindowId owner, const std::string& verb, const std::string& file,
                           const std::string& parameters, const std::string& directory,
                           ShowMode show) = 0;
  // Starts a program as WinExec would. The command line is handed over as written; the program
  // starts in `directory` (never the controller's current folder when it is empty: the caller
  // names one).
  virtual OsStatus WinExec(const std::string& commandLine, ShowMode show,
                           const std::string& directory) = 0;
  // The folder's path (SHGetFolderPath), without creating it.
  virtual OsResult<std::string> SpecialFolderPath(SpecialFolder folder) = 0;
};

}  // namespace dpc
