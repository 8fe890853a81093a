#pragma once

#include <string>

#include "platform/shell.h"

namespace dpc {

// How the controller has the shell start a program file: without the shell's own error dialogs
// (the controller says what failed), and in `directory`, by default the program's own folder,
// never the controller's current one, which may be anyone's. The caller adds the parameters,
// the verb ("runas" asks for elevation) and the owner.
ShellExecuteRequest ProgramStart(const std::string& file, ShowMode show,
                                 const std::string& directory = {});

}  // namespace dpc
