#pragma once

#include <string>

#include "i18n/language.h"
#include "i18n/translate.h"
#include "launchers/launchers.h"
#include "maintenance/maintenance_session.h"
#include "maintenance/settings_dlg.h"
#include "platform/host_window.h"
#include "platform/instance_guard.h"
#include "platform/operation.h"
#include "platform/platform.h"
#include "service/command_state.h"
#include "service/server_commands.h"
#include "service/service_access.h"
#include "service/supervision.h"
#include "shell/control_log.h"
#include "shell/control_settings.h"
#include "shell/elevation.h"
#include "shell/error_box.h"
#include "shell/main_form.h"
#include "shell/notifications.h"

namespace dpc {

// The composition root: every part of the controller, made in the order they refer to each other
// and handed to the main form, which only delegates. Lives as long as the program; the operating
// system's adapters, the main window and the dialogs' windows come from outside.
class Controller {
 public:
  // `dictionaries` are the interface languages' dictionaries; tests may give their own.
  Controller(Platform& platform, HostWindow& window, InstanceGuard& guard,
             SettingsDlgFactory& dialogs, DictionaryLookup dictionaries = DictionaryFor);
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  TfrmControl& form() { return form_; }

 private:
  const std::string executablePath_;
  Translator translator_;
  LanguageSelector language_;
  ControlLog log_;
  SettingsFileFeedback feedback_;
  ErrorBox errorBox_;
  ElevationGate gate_;
  CommandState state_;
  // The restart's wait, the close's wait for the workers, or a folder move.
  OperationHost operations_;
  ServiceAccess access_;
  ServerCommands commands_;
  Supervision supervision_;
  Launchers launchers_;
  Notifications notifications_;
  MaintenanceSession maintenance_;
  TfrmControl form_;
};

}  // namespace dpc
