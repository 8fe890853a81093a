#pragma once

#include <cstdint>

#include "platform/shell.h"

namespace dpc::win32 {

class ShellWin final : public Shell {
 public:
  OsStatus ExecuteEx(const ShellExecuteRequest& request) override;
  OsStatus Execute(WindowId owner, const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& directory,
                   ShowMode show) override;
  // Through CreateProcessW, so command lines outside the ANSI code page work. Unlike WinExec it
  // does not wait for the started program to become idle: the launchers run on the tray's thread.
  OsStatus WinExec(const std::string& commandLine, ShowMode show,
                   const std::string& directory) override;
  OsResult<std::string> SpecialFolderPath(SpecialFolder folder) override;
};

// The Windows error code for a failed ShellExecuteEx whose shell left no last error, from the
// SE_ERR_ value it put in hInstApp, and for ShellExecute's result of 32 or less.
uint32_t ShellErrorToWin32(intptr_t instApp);

}  // namespace dpc::win32
