#pragma once

#include <string>

#include "platform/desktop.h"
#include "platform/shell.h"
#include "i18n/translate.h"

namespace dpc {

// The companion programs and pages the menu starts. Each reports nothing; a missing program
// starts nothing. The elevation gate is applied by the caller.
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
  void OpenWebProfiler(const std::string& address);

 private:
  Shell& shell_;
  Desktop& desktop_;
  const Translator& translator_;
};

}  // namespace dpc
