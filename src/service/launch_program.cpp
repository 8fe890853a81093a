#include "service/launch_program.h"

#include "platform/os_error.h"
#include "platform/paths.h"

namespace dpc {

void LaunchProgram(Shell& shell, FileSystem& files, WindowId owner, const std::string& programPath,
                   const std::string& parameters) {
  if (!files.FileExists(programPath)) return;
  ShellExecuteRequest request;
  request.flags = ExecuteFlags::WaitForDde | ExecuteFlags::NoErrorUi;
  request.owner = owner;
  request.file = programPath;
  request.parameters = parameters;
  request.directory = FolderOf(programPath);
  request.show = ShowMode::Hide;
  if (const OsStatus started = shell.ExecuteEx(request); !started)
    throw SystemError(started.error());
}

}  // namespace dpc
