#pragma once

#include <memory>
#include <string>

#include "platform/os_result.h"

namespace dpc {

// A library loaded at run time; destroying it unloads it.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  // Address of an export by name; an error (ERROR_PROC_NOT_FOUND) when it is missing.
  virtual OsResult<void*> Symbol(const char* name) = 0;
};

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // The loaded library, or the system's error when it cannot be loaded.
  virtual OsResult<std::unique_ptr<DynamicLibrary>> Load(const std::string& name) = 0;
};

}  // namespace dpc
