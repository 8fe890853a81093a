#pragma once

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/desktop.h"
#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/installer_link.h"
#include "platform/process.h"
#include "platform/profile_store.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/shell.h"
#include "platform/worker_threads.h"
#include "platform/xml.h"

namespace dpc {

// Every operating-system service the logic uses, handed in as one bundle. The Windows build fills
// it with the adapters of platform/win32, tests with fakes.
struct Platform {
  ProcessInfo& process;
  ServiceManager& services;
  Clock& clock;
  WorkerThreads& threads;
  Shell& shell;
  Registry& registry;
  FileSystem& files;
  ProfileStore& profiles;
  XmlParser& xml;
  LibraryLoader& libraries;
  Desktop& desktop;
  AnsiCodePage& codePage;
  InstallerLink& installer;
  // Files a folder move copies at once on worker threads; 0 copies them on the calling thread.
  int copyWorkers = 0;
};

}  // namespace dpc
