#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/copy_progress_window.h"
#include "app/dialog_keys.h"
#include "app/dialog_look.h"
#include "app/window_base.h"
#include "i18n/translate.h"
#include "maintenance/settings_dlg.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::app {

// Control ids of the dialog's rows, for keyboard navigation, scripts and tests.
namespace control_id {
inline constexpr int kRowEdit = 1100;    // + row (1..5)
inline constexpr int kRowButton = 1200;  // + row
inline constexpr int kRowLabel = 1300;   // + row
}  // namespace control_id

// The Server File Maintenance dialog's window (TfrmSettingsDlg): five folder rows with their
// "Choose..." buttons under two headings, OK and Cancel. Standard controls, so screen readers and
// scripts can read and drive them; laid out at the monitor's DPI.
class SettingsDlgWin final : public SettingsDlgWindow, public WindowBase<SettingsDlgWin> {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmSettingsDlg";

  SettingsDlgWin(HINSTANCE instance, HWND owner, const Translator& translator,
                 std::function<void(const Failure&)> reportFailure);
  ~SettingsDlgWin() override;

  // SettingsDlgWindow
  void RunModal(SettingsDlgEvents& events) override;
  void Retranslate() override;
  void SetRow(int row, const std::string& text, const std::string& hint) override;
  std::string RowText(int row) override;
  void HideRow(int row) override;
  void FocusRow(int row) override;
  std::optional<std::string> BrowseForFolder(const std::string& initialFolder) override;
  void CloseDialog() override;
  // MoveView
  void Open(const std::string& caption) override;
  void SetFileTotal(int64_t total) override;
  void StepFile() override;
  bool Cancelled() override;
  void ShowPhase(const std::string& text) override;
  void Close() override;
  void BlockSessionEnd(const std::string& reason) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;

  // For WindowBase.
  static void ConfigureClass(WNDCLASSEXW& wc);
  LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam);
  void ReportFailure(const Failure& failure) noexcept;

 private:
  struct Row {
    HWND label = nullptr;
    HWND edit = nullptr;
    HWND button = nullptr;
    std::wstring hint;
  };

  void CreateControls();
  HWND Control(const wchar_t* className, DWORD style, int id, int x, int y, int width, int height,
               HFONT font);
  void OnCommand(int id);
  void Paint();
  template <typename Handler>
  void Guarded(Handler&& handler);

  HINSTANCE instance_;
  HWND owner_;
  const Translator& translator_;
  std::function<void(const Failure&)> reportFailure_;
  SettingsDlgEvents* events_ = nullptr;
  DpiScale scale_;
  win32::ScopedFont font_;
  win32::ScopedFont headingFont_;
  win32::ScopedBrush background_;
  GradientBackdrop backdrop_;
  std::array<Row, 5> rows_;
  HWND headings_[2] = {};
  HWND ok_ = nullptr;
  HWND cancel_ = nullptr;
  HWND tooltip_ = nullptr;
  std::unique_ptr<TfrmCopyProgress> progress_;
  bool closed_ = false;
  bool busy_ = false;  // from OK until its moves have ended
};

class SettingsDlgFactoryWin final : public SettingsDlgFactory {
 public:
  explicit SettingsDlgFactoryWin(HINSTANCE instance) : instance_(instance) {}
  std::unique_ptr<SettingsDlgWindow> Create(
      WindowId owner, const Translator& translator,
      std::function<void(const Failure&)> reportFailure) override;

 private:
  HINSTANCE instance_;
};

}  // namespace dpc::app
