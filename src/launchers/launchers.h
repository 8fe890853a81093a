#pragma once

#include <string>
#include <string_view>

#include "platform/desktop.h"
#include "platform/shell.h"
#include "i18n/translate.h"

namespace dpc {

// The companion programs and pages the menu starts. Each reports nothing; a missing program
// starts nothing. The elevation gate is applied by the caller. Every program starts in its own
// folder, never in the controller's current one, which may be anyone's.
// An address the web profiler item may hand to the shell: http or https, a host, and nothing that
// could end the address inside a browser's command line (blanks, quotes, control characters).
bool IsWebAddress(std::string_view address);

class Launchers {
 public:
  Launchers(Shell& shell, Desktop& desktop, const Translator& translator);
  // controllerFolder ends with a backslash.
  void StartOnlineUpdater(const std::string& controllerFolder);
  void StartProfileUpdater(const std::string& controllerFolder);
  void StartOfflineUpdate(WindowId owner);
  void OpenServicesConsole();
  void StartClient(const std::string& installLocation, const std::string& clientName,
                   bool uacPlatform);
  // Opens only an http or https address (the elevated copy opens it with the default browser);
  // false, with nothing started, for anything else.
  bool OpenWebProfiler(const std::string& address);

 private:
  // System32, where the services console lives; empty when unknown.
  std::string SystemFolder();

  Shell& shell_;
  Desktop& desktop_;
  const Translator& translator_;
};

}  // namespace dpc
