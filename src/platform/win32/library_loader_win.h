#pragma once

#include "platform/dynamic_library.h"

namespace dpc::win32 {

class LibraryLoaderWin final : public LibraryLoader {
 public:
  // Loads from the executable's folder or the system folder only, never from the current folder or
  // PATH, and without the system's error dialog, so a library with a missing dependency is simply
  // "not present".
  std::unique_ptr<DynamicLibrary> Load(const std::string& name) override;
};

}  // namespace dpc::win32
