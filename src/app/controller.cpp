#include "app/controller.h"

#include <utility>

#include "i18n/failure_text.h"
#include "platform/paths.h"

namespace dpc {

Controller::Controller(Platform& platform, HostWindow& window, InstanceGuard& guard,
                       SettingsDlgFactory& dialogs, DictionaryLookup dictionaries)
    : executablePath_(ValueOrRaise(platform.process.ExecutablePath())),
      language_({platform.files, platform.xml, platform.shell, FolderOf(executablePath_)},
                std::move(dictionaries)),
      log_(platform.files, ReplaceExtension(executablePath_, ".log")),
      feedback_(platform.profiles, ReplaceExtension(executablePath_, ".ini")),
      errorBox_(platform.desktop, translator_),
      gate_(platform.process),
      operations_(window),
      access_(platform.services, platform.clock),
      commands_(state_, access_, platform.threads, platform.clock, window, log_),
      supervision_({access_, commands_, state_, window, platform.clock, log_, feedback_,
                    platform.files, platform.shell,
                    FolderOf(executablePath_) + "Kelvra_Feedback.exe"}),
      launchers_(platform.shell, platform.desktop, translator_),
      notifications_(window, log_, platform.process, translator_),
      maintenance_(
          platform, dialogs, state_, operations_,
          {translator_, [this] { return access_.ReadServerSnapshot().IsServerStopped(); },
           [this](const std::string& key, const std::string& value) { log_.Write(key, value); },
           [this](const Failure& failure) {
             errorBox_.Show(DescribeFailure(translator_, failure));
           }}),
      form_(platform, window, guard,
            {translator_, language_, log_, feedback_, errorBox_, gate_, state_, access_, commands_,
             supervision_, launchers_, notifications_, maintenance_, operations_}) {}

}  // namespace dpc
