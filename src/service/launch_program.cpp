#include "service/launch_program.h"

#include "platform/os_error.h"
#include "platform/program_start.h"

namespace dpc {

void LaunchProgram(Shell& shell, FileSystem& files, WindowId owner, const std::string& programPath,
                   const std::string& parameters) {
  if (!ValueOrRaise(files.FileExists(programPath))) return;
  ShellExecuteRequest request = ProgramStart(programPath, ShowMode::Hide);
  request.owner = owner;
  request.parameters = parameters;
  if (const OsStatus started = shell.ExecuteEx(request); !started)
    throw SystemError(started.error());
}

}  // namespace dpc
