#pragma once

#include <string>

#include "platform/file_system.h"
#include "platform/shell.h"
#include "platform/window_id.h"

namespace dpc {

// Starts an existing program file hidden, in its own folder; does nothing when the file is
// missing. Throws SystemError when the shell refuses the launch.
void LaunchProgram(Shell& shell, FileSystem& files, WindowId owner, const std::string& programPath,
                   const std::string& parameters);

}  // namespace dpc
