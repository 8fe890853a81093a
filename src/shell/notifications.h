#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "i18n/translate.h"
#include "platform/host_window.h"
#include "platform/process.h"
#include "service/server_commands.h"
#include "service/server_notifier.h"
#include "service/service_access.h"
#include "service/supervision.h"

namespace dpc {

// A notice as the operator reads it, in the interface language.
struct BalloonText {
  std::string title;
  std::string text;
  BalloonIcon icon = BalloonIcon::Warning;
};

// `process` gives the system's texts for error codes.
BalloonText WordNotice(const Notice& notice, const Translator& translator, ProcessInfo& process);

// The tray balloons about the server that [Control] Notifications=1 asks for: the notifier's
// decisions, worded, shown at the tray icon and written to the trace log. Off, it does nothing.
class Notifications {
 public:
  Notifications(HostWindow& window, TraceLog& log, ProcessInfo& process,
                const Translator& translator);

  void Enable(bool enabled) { enabled_ = enabled; }
  // At each supervision tick, before it reads the server: what the commands reported since.
  void OnReports(const std::vector<CommandReport>& reports);
  // Then the tick's reading.
  void OnTick(const ServerSnapshot& server, uint64_t nowMs);
  // The last balloon: title, a line feed, text; empty before the first.
  const std::string& last() const { return last_; }

 private:
  void Show(const Notice& notice);

  HostWindow& window_;
  TraceLog& log_;
  ProcessInfo& process_;
  const Translator& translator_;
  ServerNotifier notifier_;
  bool enabled_ = false;
  std::string last_;
};

}  // namespace dpc
