#pragma once

#include "platform/dynamic_library.h"

namespace dpc::win32 {

class LibraryLoaderWin final : public LibraryLoader {
 public:
  // Loads from the executable's folder or the system folder only, never from the current folder or
  // PATH, and without the system's error dialog, so a library with a missing dependency is simply
  // "not present".
  OsResult<std::unique_ptr<DynamicLibrary>> Load(const std::string& name) override;
};

// How RestrictDllSearch left the process's search for DLLs loaded by name.
enum class DllSearch {
  kDefaultDirectories,  // the executable's folder, System32 and folders added on purpose
  kNoCurrentFolder,     // the legacy order without the current folder (PATH still searched)
};

// Run first thing in the process: every DLL loaded later by bare name (the shell's dialogs, COM
// servers, MSXML) is then looked for in the executable's folder and System32 only, never in the
// current folder or in a PATH folder that an elevated administrator's PATH may share with users.
// Windows without SetDefaultDllDirectories (Vista, 7 before its update) keeps the legacy order
// minus the current folder.
DllSearch RestrictDllSearch();

}  // namespace dpc::win32
