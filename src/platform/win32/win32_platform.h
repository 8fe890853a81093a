#pragma once

#include "platform/platform.h"
#include "platform/win32/clock_win.h"
#include "platform/win32/desktop_win.h"
#include "platform/win32/file_system_win.h"
#include "platform/win32/installer_link_win.h"
#include "platform/win32/library_loader_win.h"
#include "platform/win32/process_win.h"
#include "platform/win32/profile_store_win.h"
#include "platform/win32/registry_win.h"
#include "platform/win32/service_manager_win.h"
#include "platform/win32/shell_win.h"
#include "platform/win32/worker_threads_win.h"
#include "platform/win32/xml_win.h"

namespace dpc::win32 {

// One adapter of each platform interface, for the life of the program. The service manager
// behaves as a manager that cannot be opened until services.Bind(libraries). Not movable: the
// bundle refers to the members.
struct Win32Platform {
  Win32Platform() = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // Enough files in flight to keep a disk and the system's own file calls busy: measured with
  // bench/run-copy-bench.sh.
  static constexpr int kCopyWorkers = 4;

  dpc::Platform Bundle() {
    return dpc::Platform{process,  services, clock,     threads, shell,    registry,  files,
                         profiles, xml,      libraries, desktop, codePage, installer, kCopyWorkers};
  }

  ProcessInfoWin process;
  ServiceManagerWin services;
  ClockWin clock;
  WorkerThreadsWin threads;
  ShellWin shell;
  RegistryWin registry;
  FileSystemWin files;
  ProfileStoreWin profiles;
  XmlParserWin xml;
  LibraryLoaderWin libraries;
  DesktopWin desktop;
  AnsiCodePageWin codePage;
  InstallerLinkWin installer;
};

}  // namespace dpc::win32
