#pragma once

#include "platform/shell.h"

namespace dpc::win32 {

class ShellWin final : public Shell {
 public:
  std::optional<OsError> ExecuteEx(const ShellExecuteRequest& request) override;
  intptr_t Execute(WindowId owner, const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& directory, int show) override;
  // Through CreateProcessW, so command lines outside the ANSI code page work. Unlike WinExec it
  // does not wait for the started program to become idle: the launchers run on the tray's thread.
  uint32_t WinExec(const std::string& commandLine, int show, const std::string& directory) override;
  std::string SpecialFolderPath(int csidl, bool create) override;
};

// The Windows error code for a failed ShellExecuteEx whose shell left no last error, from the
// SE_ERR_ value it put in hInstApp.
uint32_t ShellErrorToWin32(intptr_t instApp);

// WinExec's result for a CreateProcess failure: the error code when it is below 32, else
// ERROR_BAD_FORMAT (11), so no failure can read as success (> 31).
uint32_t WinExecResultForError(uint32_t error);

}  // namespace dpc::win32
