#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_move_view.h"
#include "maintenance/settings_dlg.h"

namespace dpc::test {

// The dialog's window: rows as strings, a scripted operator, and the progress and messages of
// the moves through FakeMoveView.
class FakeSettingsDlgWindow : public SettingsDlgWindow {
 public:
  // What the operator does while the dialog shows; returns when the dialog would close.
  std::function<void(FakeSettingsDlgWindow&, SettingsDlgEvents&)> onShow;

  void RunModal(SettingsDlgEvents& events) override {
    events.FormCreate();
    if (onShow) onShow(*this, events);
  }
  void Retranslate() override { ++retranslations; }
  void SetRow(int row, const std::string& text, const std::string& hint) override {
    texts.at(static_cast<size_t>(row - 1)) = text;
    hints.at(static_cast<size_t>(row - 1)) = hint;
  }
  std::string RowText(int row) override { return texts.at(static_cast<size_t>(row - 1)); }
  void HideRow(int row) override { hidden.at(static_cast<size_t>(row - 1)) = true; }
  void FocusRow(int row) override { focused = row; }
  std::optional<std::string> BrowseForFolder(const std::string& initialFolder) override {
    browsedFrom.push_back(initialFolder);
    return browseResult;
  }
  void CloseDialog() override { ++closes; }
  void Open(const std::string& caption) override { moves.Open(caption); }
  void SetFileTotal(int64_t total) override { moves.SetFileTotal(total); }
  void StepFile() override { moves.StepFile(); }
  bool Cancelled() override { return moves.Cancelled(); }
  void ShowPhase(const std::string& text) override { moves.ShowPhase(text); }
  void Close() override { moves.Close(); }
  void BlockSessionEnd(const std::string& reason) override { moves.BlockSessionEnd(reason); }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    moves.ShowMessage(text, caption);
  }

  std::array<std::string, 5> texts, hints;
  std::array<bool, 5> hidden{};
  int focused = 0;
  std::vector<std::string> browsedFrom;
  std::optional<std::string> browseResult;
  int closes = 0;
  int retranslations = 0;
  FakeMoveView moves;
};

class FakeSettingsDlgFactory : public SettingsDlgFactory {
 public:
  std::unique_ptr<SettingsDlgWindow> Create(WindowId owner, const Translator&,
                                            std::function<void(const Failure&)>) override {
    owners.push_back(owner);
    auto window = std::make_unique<FakeSettingsDlgWindow>();
    window->onShow = onShow;
    last = window.get();
    return window;
  }
  std::function<void(FakeSettingsDlgWindow&, SettingsDlgEvents&)> onShow;
  std::vector<WindowId> owners;
  FakeSettingsDlgWindow* last = nullptr;  // valid while the dialog runs
};

}  // namespace dpc::test
