#pragma once

#include <memory>
#include <string>

namespace dpc {

// A library loaded at run time; destroying it unloads it.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  // Address of an export by name, or nullptr when it is missing.
  virtual void* Symbol(const char* name) = 0;
};

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // nullptr when the library cannot be loaded.
  virtual std::unique_ptr<DynamicLibrary> Load(const std::string& name) = 0;
};

}  // namespace dpc
