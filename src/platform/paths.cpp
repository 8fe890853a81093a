#include "platform/paths.h"

namespace dpc {

namespace {

size_t FileNameStart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? 0 : slash + 1;
}

// Position of the extension's dot within the file name, or npos. A leading dot (".profile") names
// the file rather than starting an extension.
size_t ExtensionDot(const std::string& path) {
  const size_t start = FileNameStart(path);
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot <= start ? std::string::npos : dot;
}

}  // namespace

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  return path.substr(0, ExtensionDot(path)) + extension;
}

std::string FolderOf(const std::string& path) { return path.substr(0, FileNameStart(path)); }

std::string FileStem(const std::string& path) {
  const size_t start = FileNameStart(path);
  const size_t dot = ExtensionDot(path);
  return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

}  // namespace dpc
