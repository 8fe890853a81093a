#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "i18n/translate.h"
#include "maintenance/copy_engine.h"
#include "maintenance/settings_dialog.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/window_base.h"

namespace dpc::win32 {

// Control ids of the dialog and the progress window, for keyboard navigation, scripts and tests.
namespace control_id {
inline constexpr int kRowEdit = 1100;    // + row (1..5)
inline constexpr int kRowButton = 1200;  // + row
inline constexpr int kRowLabel = 1300;   // + row
inline constexpr int kProgressLabel = 1401;
inline constexpr int kProgressBar = 1402;
inline constexpr int kProgressCancel = IDCANCEL;
inline constexpr int kProgressCount = 1404;
}  // namespace control_id

// Lengths given at 96 DPI, scaled to the DPI the window shows at.
class DpiScale {
 public:
  explicit DpiScale(UINT dpi) : dpi_(dpi) {}
  int operator()(int length96) const { return ::MulDiv(length96, static_cast<int>(dpi_), 96); }
  UINT dpi() const { return dpi_; }

 private:
  UINT dpi_;
};

// Backgrounds for the labels on a window's gradient, one brush per colour met.
class GradientBackdrop {
 public:
  LRESULT ColourFor(HWND parent, HWND control, WPARAM wParam, int gradientHeight, COLORREF top,
                    COLORREF bottom);

 private:
  std::map<COLORREF, ScopedBrush> brushes_;
};

// The progress window of one folder move (TfrmCopyProgress): the row's caption, a bar, Cancel
// and the file counter, over a white-to-grey gradient. Cancel hides it; the move destroys it.
class TfrmCopyProgress final : public WindowBase<TfrmCopyProgress> {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmCopyProgress";

  TfrmCopyProgress(HINSTANCE instance, HWND owner, const Translator& translator,
                   const std::string& caption);

  ~TfrmCopyProgress();  // the session-end block goes with the window
  void SetFileTotal(int64_t total);
  void StepFile();
  // In place of the file counter until the next file.
  void ShowPhase(const std::string& text);
  bool Cancelled() const { return progress_.Cancelled(); }
  void Retranslate();
  // ShutdownBlockReasonCreate on this window; false where the system has no such call.
  bool BlockSessionEnd(const std::string& reason);

  static void ConfigureClass(WNDCLASSEXW& wc);
  LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam);
  void ReportFailure(const char*) noexcept {}

 private:
  void btnCancelClick();
  void UpdateCounter();

  const Translator& translator_;
  std::string caption_;
  CopyProgress progress_;
  DpiScale scale_;
  ScopedFont font_;
  GradientBackdrop backdrop_;
  HWND label_ = nullptr;
  HWND bar_ = nullptr;
  HWND cancel_ = nullptr;
  HWND count_ = nullptr;
  HWND owner_ = nullptr;
  bool blocking_ = false;
};

// The Server File Maintenance dialog's window (TfrmSettingsDlg): five folder rows with their
// "Choose..." buttons under two headings, OK and Cancel. Standard controls, so screen readers and
// scripts can read and drive them; laid out at the monitor's DPI.
class SettingsDialogWin final : public SettingsDialogWindow, public WindowBase<SettingsDialogWin> {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmSettingsDlg";

  SettingsDialogWin(HINSTANCE instance, HWND owner, const Translator& translator,
                    std::function<void(const std::string&)> reportFailure);
  ~SettingsDialogWin() override;

  // SettingsDialogWindow
  void RunModal(SettingsDialogEvents& events) override;
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
  void ReportFailure(const char* text) noexcept;

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
  std::function<void(const std::string&)> reportFailure_;
  SettingsDialogEvents* events_ = nullptr;
  DpiScale scale_;
  ScopedFont font_;
  ScopedFont headingFont_;
  ScopedBrush background_;
  GradientBackdrop backdrop_;
  std::array<Row, 5> rows_;
  HWND headings_[2] = {};
  HWND ok_ = nullptr;
  HWND cancel_ = nullptr;
  HWND tooltip_ = nullptr;
  std::unique_ptr<TfrmCopyProgress> progress_;
  bool closed_ = false;
  bool busy_ = false;  // OK's moves are running
};

class SettingsDialogFactoryWin final : public SettingsDialogFactory {
 public:
  explicit SettingsDialogFactoryWin(HINSTANCE instance) : instance_(instance) {}
  std::unique_ptr<SettingsDialogWindow> Create(
      WindowId owner, const Translator& translator,
      std::function<void(const std::string&)> reportFailure) override;

 private:
  HINSTANCE instance_;
};

// The shell's folder browser (BrowseForFolder): new folders allowed, starting at initialFolder
// when it is not empty. The chosen file-system folder, or empty.
std::string BrowseForFolder(HWND owner, const std::wstring& title,
                            const std::wstring& initialFolder);

}  // namespace dpc::win32
