#include "service/launch_program.h"

#include "platform/os_error.h"

namespace dpc {

std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return "";
  // "C:" alone would mean the drive's current folder, not its root.
  if (separator == 0 || path[separator - 1] == ':') return path.substr(0, separator + 1);
  return path.substr(0, separator);
}

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
