#include "app/copy_progress_window.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "app/icons.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/text.h"

namespace dpc::app {

using win32::Utf8ToWide;

namespace {

constexpr COLORREF kProgressBottom = RGB(232, 232, 232);
constexpr const char* kProgressCaption = UiText("Kelvra Tarn Server File Maintenance");
constexpr const char* kPleaseWait = UiText("Please wait");

}  // namespace

TfrmCopyProgress::TfrmCopyProgress(HINSTANCE instance, HWND owner, const Translator& translator,
                                   const std::string& caption,
                                   std::function<void(const Failure&)> reportFailure)
    : translator_(translator),
      reportFailure_(std::move(reportFailure)),
      caption_(caption),
      scale_(DpiForWindow(owner)),
      owner_(owner) {
  // FormCreate: a new window for every move, so a Cancel counts for its own move only.
  progress_.Reset();
  constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  const RECT frame = CentredFrame(style, exStyle, scale_(483), scale_(108), owner);
  CreateFor(instance, exStyle, L"", style, frame.left, frame.top, frame.right - frame.left,
            frame.bottom - frame.top, owner);
  font_ = CreateDialogFont(scale_.dpi(), false);
  auto control = [&](const wchar_t* cls, DWORD controlStyle, int id, int x, int y, int w, int h) {
    HWND child = ::CreateWindowExW(
        0, cls, L"", WS_CHILD | WS_VISIBLE | controlStyle, scale_(x), scale_(y), scale_(w),
        scale_(h), hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return child;
  };
  label_ = control(WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX, control_id::kProgressLabel, 47, 19,
                   306, 18);
  bar_ = control(PROGRESS_CLASSW, 0, control_id::kProgressBar, 45, 40, 303, 15);
  // The only button, so the default one: Enter presses it as well as Space and Esc do.
  cancel_ = control(WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP, control_id::kProgressCancel, 368, 35,
                    75, 25);
  // As wide as the window allows: it also names the phases, whose translations run long.
  count_ = control(WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX, control_id::kProgressCount, 47, 69,
                   396, 18);
  ::SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
  Retranslate();
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
  ::SetFocus(cancel_);
}

TfrmCopyProgress::~TfrmCopyProgress() {
  if (!blocking_ || !hwnd_) return;
  if (const auto destroy = win32::system_function::ShutdownBlockReasonDestroy()) {
    destroy(hwnd_);
  }
}

bool TfrmCopyProgress::BlockSessionEnd(const std::string& reason) {
  const auto create = win32::system_function::ShutdownBlockReasonCreate();
  if (!create || !hwnd_) return false;
  blocking_ = create(hwnd_, Utf8ToWide(reason).c_str()) != FALSE;
  return blocking_;
}

void TfrmCopyProgress::ConfigureClass(WNDCLASSEXW& wc) {
  wc.hbrBackground = nullptr;  // painted: the gradient
}

void TfrmCopyProgress::Retranslate() {
  SetText(hwnd_, translator_.Translate(kProgressCaption));
  // The row's caption, e.g. "Job folder:", in place of "Please wait" once the move names it.
  SetText(label_, caption_.empty() ? translator_.Translate(kPleaseWait) : caption_);
  SetText(cancel_, translator_.Translate(kCancel));
  UpdateCounter();
}

void TfrmCopyProgress::SetFileTotal(int64_t total) {
  progress_.SetFileTotal(total);
  // Beyond an int the bar counts in steps of its own; the label keeps the true numbers.
  ::SendMessageW(bar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(std::min<int64_t>(total, INT_MAX)));
  UpdateCounter();
}

void TfrmCopyProgress::StepFile() {
  progress_.StepFile();
  ::SendMessageW(bar_, PBM_SETPOS,
                 static_cast<WPARAM>(std::min<int64_t>(progress_.FilesDone(), INT_MAX)), 0);
  UpdateCounter();
}

void TfrmCopyProgress::ReportFailure(const Failure& failure) noexcept {
  try {
    if (reportFailure_) reportFailure_(failure);
  } catch (...) {
    // The error box itself failed (out of memory); there is nobody left to tell.
  }
}

void TfrmCopyProgress::ShowPhase(const std::string& text) { SetText(count_, text); }

void TfrmCopyProgress::UpdateCounter() { SetText(count_, progress_.CounterCaption(translator_)); }

void TfrmCopyProgress::btnCancelClick() {
  progress_.Cancel();
  // Closing only hides it: the move destroys it once the file in hand is done.
  ::ShowWindow(hwnd_, SW_HIDE);
}

LRESULT TfrmCopyProgress::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client{};
      ::GetClientRect(hwnd_, &client);
      PaintGradient(reinterpret_cast<HDC>(wParam), client, kPanelTop, kProgressBottom);
      return 1;
    }
    case WM_CTLCOLORSTATIC: {
      RECT client{};
      ::GetClientRect(hwnd_, &client);
      return backdrop_.ColourFor(hwnd_, reinterpret_cast<HWND>(lParam), wParam, client.bottom,
                                 kPanelTop, kProgressBottom);
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == control_id::kProgressCancel) btnCancelClick();
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(control_id::kProgressCancel, DC_HASDEFID);
    case WM_ACTIVATE:
      // Back in front, the keyboard is on Cancel again.
      if (LOWORD(wParam) != WA_INACTIVE && cancel_) ::SetFocus(cancel_);
      return 0;
    case WM_QUERYENDSESSION:
      return AskOwnerWhetherSessionMayEnd(owner_, wParam, lParam);
    case WM_ENDSESSION:
      return 0;  // the main window gets its own
    case WM_CLOSE:
      return 0;  // no close box: Cancel is the way out
    default:
      return ::DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}
}  // namespace dpc::app
