#include "platform/program_start.h"

#include "platform/paths.h"

namespace dpc {

ShellExecuteRequest ProgramStart(const std::string& file, int show, const std::string& directory) {
  ShellExecuteRequest request;
  request.mask = kShellExecuteMaskDdeWaitNoUi;
  request.owner = kNoWindow;
  request.file = file;
  request.directory = directory.empty() ? FolderOf(file) : directory;
  request.show = show;
  return request;
}

}  // namespace dpc
