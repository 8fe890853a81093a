#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/dialog_look.h"
#include "app/window_base.h"
#include "i18n/translate.h"
#include "maintenance/copy_engine.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::app {

// Control ids of the progress window, for keyboard navigation, scripts and tests.
namespace control_id {
inline constexpr int kProgressLabel = 1401;
inline constexpr int kProgressBar = 1402;
inline constexpr int kProgressCancel = IDCANCEL;
inline constexpr int kProgressCount = 1404;
}  // namespace control_id

// The progress window of one folder move (TfrmCopyProgress): the row's caption, a bar, Cancel
// and the file counter, over a white-to-grey gradient. Cancel hides it; the move destroys it.
class TfrmCopyProgress final : public WindowBase<TfrmCopyProgress> {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmCopyProgress";

  // Failures its handlers raise go to `reportFailure` (the general error box).
  TfrmCopyProgress(HINSTANCE instance, HWND owner, const Translator& translator,
                   const std::string& caption, std::function<void(const Failure&)> reportFailure);

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
  void ReportFailure(const Failure& failure) noexcept;

 private:
  void btnCancelClick();
  void UpdateCounter();

  const Translator& translator_;
  std::function<void(const Failure&)> reportFailure_;
  std::string caption_;
  CopyProgress progress_;
  DpiScale scale_;
  win32::ScopedFont font_;
  GradientBackdrop backdrop_;
  HWND label_ = nullptr;
  HWND bar_ = nullptr;
  HWND cancel_ = nullptr;
  HWND count_ = nullptr;
  HWND owner_ = nullptr;
  bool blocking_ = false;
};

}  // namespace dpc::app
