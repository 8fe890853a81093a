#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "maintenance/folder_move.h"

namespace dpc::test {

// The dialog's progress window and message boxes.
class FakeMoveView : public MoveView {
 public:
  void Open(const std::string& caption) override {
    opened.push_back(caption);
    open = true;
    steps = 0;
    cancelled = false;
  }
  void SetFileTotal(int64_t total) override { fileTotal = total; }
  void StepFile() override {
    ++steps;
    if (cancelAfterSteps && steps >= *cancelAfterSteps) cancelled = true;
  }
  bool Cancelled() override { return cancelled; }
  void Close() override {
    ++closes;
    open = false;
    blockReason.reset();
  }
  void BlockSessionEnd(const std::string& reason) override {
    if (open) blockReason = reason;
  }
  void ShowPhase(const std::string& text) override {
    phases.push_back(text);
    if (onPhase) onPhase(text);
    if (cancelInPhase && text.find(*cancelInPhase) != std::string::npos) cancelled = true;
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back({text, caption});
  }

  std::vector<std::string> opened;
  bool open = false;
  int closes = 0;
  int64_t fileTotal = 0;
  int64_t steps = 0;
  bool cancelled = false;
  std::optional<int64_t> cancelAfterSteps;  // Cancel pressed during that file's copy
  std::vector<std::string> phases;
  std::optional<std::string> cancelInPhase;  // Cancel pressed once a phase's text holds this
  std::function<void(const std::string&)> onPhase;
  std::vector<std::pair<std::string, std::string>> messages;
  std::optional<std::string> blockReason;  // while the window holds up the session's end
};

}  // namespace dpc::test
