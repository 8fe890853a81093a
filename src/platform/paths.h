#pragma once

#include <string>

namespace dpc {

// Windows paths as the executable reports them: folders end at the last backslash (or slash).

// The path with the file name's extension replaced by `extension` (".ini"); appended when the file
// name has none. A dot in a folder name is not an extension.
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// The folder part including its trailing backslash; empty for a bare file name.
std::string FolderOf(const std::string& path);

// The file name without folder and without extension.
std::string FileStem(const std::string& path);

}  // namespace dpc
