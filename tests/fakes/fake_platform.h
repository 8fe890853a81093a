#pragma once

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_host_window.h"
#include "fakes/fake_service_manager.h"
#include "fakes/fake_settings_dlg.h"
#include "fakes/fake_system.h"
#include "platform/platform.h"

namespace dpc::test {

// Every fake in one place, and the Platform bundle over them.
struct FakePlatform {
  FakeProcessInfo process;
  FakeServiceManager services;
  FakeClock clock;
  FakeWorkerThreads threads;
  FakeShell shell;
  FakeRegistry registry;
  FakeFileSystem files;
  FakeProfileStore profiles;
  FakeXmlParser xml;
  FakeLibraryLoader libraries;
  FakeDesktop desktop;
  FakeAnsiCodePage codePage;
  FakeSettingsDlgFactory dialogs;
  FakeHostWindow window;
  FakeInstanceGuard guard;
  FakeInstallerLink installer;

  Platform bundle{process,  services, clock,     threads, shell,    registry, files,
                  profiles, xml,      libraries, desktop, codePage, installer};
};

}  // namespace dpc::test
