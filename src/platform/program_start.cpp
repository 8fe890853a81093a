#include "platform/program_start.h"

#include "platform/paths.h"

namespace dpc {

ShellExecuteRequest ProgramStart(const std::string& file, ShowMode show,
                                 const std::string& directory) {
  ShellExecuteRequest request;
  request.flags = ExecuteFlags::WaitForDde | ExecuteFlags::NoErrorUi;
  request.owner = kNoWindow;
  request.file = file;
  request.directory = directory.empty() ? FolderOf(file) : directory;
  request.show = show;
  return request;
}

}  // namespace dpc
