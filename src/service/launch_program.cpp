#include "service/launch_program.h"

#include "platform/os_error.h"
#include "platform/paths.h"

namespace dpc {

void LaunchProgram(Shell& shell, FileSystem& files, WindowId owner, const std::string& programPath,
                   const std::string& parameters) {
  if (!files.FileExists(programPath)) return;
  ShellExecuteRequest request;
  request.mask = kShellExecuteMaskDdeWaitNoUi;
  request.owner = owner;
  request.file = programPath;
  request.parameters = parameters;
  request.directory = FolderOf(programPath);
  request.show = show::kHide;
  if (std::optional<OsError> error = shell.ExecuteEx(request)) throw SystemError(*error);
}

}  // namespace dpc
