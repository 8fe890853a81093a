#include "platform/win32/settings_dialog_win.h"

#include <commctrl.h>
#include <shlobj.h>

#include <exception>
#include <utility>

#include "i18n/failure_text.h"
#include "maintenance/folder_rows.h"
#include "platform/win32/icons.h"
#include "platform/win32/text.h"

namespace dpc::win32 {

namespace {

constexpr COLORREF kBackground = RGB(224, 224, 224);
constexpr COLORREF kPanelTop = RGB(255, 255, 255);
constexpr COLORREF kProgressBottom = RGB(232, 232, 232);

// The dialog as designed, at 96 DPI.
constexpr int kDialogWidth = 713;
constexpr int kDialogHeight = 551;
constexpr int kPanelHeight = 493;
constexpr int kEditLeft = 49;
constexpr int kEditWidth = 513;
constexpr int kEditHeight = 24;
constexpr int kButtonLeft = 571;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 32;
constexpr int kLabelTops[5] = {69, 129, 277, 343, 407};
constexpr int kEditTops[5] = {94, 155, 302, 366, 430};
constexpr int kHeadingTops[2] = {37, 245};

constexpr const char* kDialogCaption = UiText("Server File Maintenance");
constexpr const char* kHeadings[2] = {UiText("Profile Folders:"), UiText("System Folders:")};
constexpr const char* kChoose = UiText("Choose...");
constexpr const char* kOk = UiText("OK");
constexpr const char* kCancel = UiText("Cancel");
constexpr const char* kProgressCaption = UiText("Kelvra Tarn Server File Maintenance");
constexpr const char* kPleaseWait = UiText("Please wait");

// The dialog font (the system's message font) at the window's DPI; bolder and larger for
// headings.
ScopedFont CreateDialogFont(UINT dpi, bool heading) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    metrics.lfMessageFont.lfHeight = -12;
    ::lstrcpyW(metrics.lfMessageFont.lfFaceName, L"MS Shell Dlg 2");
  }
  LOGFONTW font = metrics.lfMessageFont;
  font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
  if (heading) {
    font.lfWeight = FW_BOLD;
    font.lfHeight = font.lfHeight * 5 / 4;
  }
  return ScopedFont(::CreateFontIndirectW(&font));
}

void SetText(HWND window, const std::string& text) {
  ::SetWindowTextW(window, Utf8ToWide(text).c_str());
}

std::string GetText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return WideToUtf8(text);
}

// A vertical gradient from `top` to `bottom` over the rectangle.
void PaintGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom) {
  TRIVERTEX vertices[2] = {};
  vertices[0].x = area.left;
  vertices[0].y = area.top;
  vertices[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
  vertices[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
  vertices[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
  vertices[1].x = area.right;
  vertices[1].y = area.bottom;
  vertices[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
  vertices[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
  vertices[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
  GRADIENT_RECT rect{0, 1};
  ::GdiGradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_V);
}

// The outer size of a window whose client area is width x height, centred on the monitor of the
// owner (the screen's work area).
RECT CentredFrame(DWORD style, DWORD exStyle, int width, int height, HWND owner) {
  RECT frame{0, 0, width, height};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int outerWidth = frame.right - frame.left;
  const int outerHeight = frame.bottom - frame.top;
  const int left = work.left + (work.right - work.left - outerWidth) / 2;
  const int top = work.top + (work.bottom - work.top - outerHeight) / 2;
  return RECT{left, top, left + outerWidth, top + outerHeight};
}

COLORREF Blend(COLORREF from, COLORREF to, int part, int whole) {
  auto channel = [&](int a, int b) { return a + (b - a) * part / (whole > 0 ? whole : 1); };
  return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
             channel(GetBValue(from), GetBValue(to)));
}

}  // namespace

// A label on a gradient gets the gradient's colour at its middle as its own background: over a
// line of text the gradient changes by less than one step, and the text stays crisp.
LRESULT GradientBackdrop::ColourFor(HWND parent, HWND control, WPARAM wParam, int gradientHeight,
                                    COLORREF top, COLORREF bottom) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  const int middle = (rect.top + rect.bottom) / 2;
  const COLORREF colour =
      middle >= gradientHeight ? bottom : Blend(top, bottom, middle, gradientHeight);
  ScopedBrush& brush = brushes_[colour];
  if (!brush) brush = ScopedBrush(::CreateSolidBrush(colour));
  HDC dc = reinterpret_cast<HDC>(wParam);
  ::SetBkColor(dc, colour);
  ::SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(brush.get());
}

namespace {

// The folder browser's initial folder, handed to its callback through lParam.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) noexcept {
  if (message == BFFM_INITIALIZED && data) ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// Every top-level window of ours answers the session's end as the main window (its owner)
// does: the main window knows whether a folder move is under way.
LRESULT AskOwnerWhetherSessionMayEnd(HWND owner, WPARAM wParam, LPARAM lParam) {
  if (!owner || !::IsWindow(owner)) return TRUE;
  return ::SendMessageW(owner, WM_QUERYENDSESSION, wParam, lParam);
}

// Looked up at run time: older systems, and some emulations, do not have these.
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

}  // namespace

// --- the folder browser -------------------------------------------------------------------------

std::string BrowseForFolder(HWND owner, const std::wstring& title,
                            const std::wstring& initialFolder) {
  wchar_t display[MAX_PATH + 1] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!initialFolder.empty()) {
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
  }
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (!chosen) return {};
  wchar_t path[MAX_PATH + 1] = {};
  const bool isFolder = ::SHGetPathFromIDListW(chosen, path) != FALSE;
  ::CoTaskMemFree(chosen);
  return isFolder ? WideToUtf8(path) : std::string();
}

// --- TfrmCopyProgress ---------------------------------------------------------------------------

TfrmCopyProgress::TfrmCopyProgress(HINSTANCE instance, HWND owner, const Translator& translator,
                                   const std::string& caption)
    : translator_(translator), caption_(caption), scale_(DpiForWindow(owner)), owner_(owner) {
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
  using DestroyFn = BOOL(WINAPI*)(HWND);
  if (const auto destroy = User32Function<DestroyFn>("ShutdownBlockReasonDestroy")) {
    destroy(hwnd_);
  }
}

bool TfrmCopyProgress::BlockSessionEnd(const std::string& reason) {
  using CreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
  const auto create = User32Function<CreateFn>("ShutdownBlockReasonCreate");
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

// --- TfrmSettingsDlg's window -------------------------------------------------------------------

SettingsDialogWin::SettingsDialogWin(HINSTANCE instance, HWND owner, const Translator& translator,
                                     std::function<void(const std::string&)> reportFailure)
    : instance_(instance),
      owner_(owner),
      translator_(translator),
      reportFailure_(std::move(reportFailure)),
      scale_(DpiForWindow(owner)) {
  const RECT frame = CentredFrame(kDialogStyle, kDialogExStyle, scale_(kDialogWidth),
                                  scale_(kDialogHeight), owner);
  CreateFor(instance, kDialogExStyle, L"", kDialogStyle, frame.left, frame.top,
            frame.right - frame.left, frame.bottom - frame.top, owner);
  font_ = CreateDialogFont(scale_.dpi(), false);
  headingFont_ = CreateDialogFont(scale_.dpi(), true);
  background_ = ScopedBrush(::CreateSolidBrush(kBackground));
  CreateControls();
  Retranslate();
}

SettingsDialogWin::~SettingsDialogWin() {
  progress_.reset();
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void SettingsDialogWin::ConfigureClass(WNDCLASSEXW& wc) { wc.hbrBackground = nullptr; }

HWND SettingsDialogWin::Control(const wchar_t* className, DWORD style, int id, int x, int y,
                                int width, int height, HFONT font) {
  HWND child = ::CreateWindowExW(
      id >= control_id::kRowEdit && id < control_id::kRowButton ? WS_EX_CLIENTEDGE : 0, className,
      L"", WS_CHILD | WS_VISIBLE | style, scale_(x), scale_(y), scale_(width), scale_(height),
      hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

void SettingsDialogWin::CreateControls() {
  for (int i = 0; i < 2; ++i) {
    headings_[i] = Control(WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX, -1, 32, kHeadingTops[i],
                           400, 22, headingFont_.get());
    // The rule under the heading.
    Control(WC_STATICW, SS_ETCHEDHORZ, -1, 32, kHeadingTops[i] + 24, kDialogWidth - 64, 2,
            font_.get());
  }
  // The rule across the window above the buttons.
  Control(WC_STATICW, SS_ETCHEDHORZ, -1, 0, kPanelHeight, kDialogWidth, 2, font_.get());

  tooltip_ =
      ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
  for (int i = 0; i < 5; ++i) {
    const int row = i + 1;
    Row& r = rows_[static_cast<size_t>(i)];
    r.label = Control(WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX, control_id::kRowLabel + row,
                      kEditLeft, kLabelTops[i], kEditWidth, 20, font_.get());
    // Out of the tab order, as designed: Tab moves between the buttons.
    r.edit = Control(WC_EDITW, ES_AUTOHSCROLL | ES_LEFT, control_id::kRowEdit + row, kEditLeft,
                     kEditTops[i], kEditWidth, kEditHeight, font_.get());
    r.button = Control(WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, control_id::kRowButton + row,
                       kButtonLeft, kEditTops[i] - (kButtonHeight - kEditHeight) / 2, kButtonWidth,
                       kButtonHeight, font_.get());
    if (tooltip_) {
      TTTOOLINFOW tool{};
      tool.cbSize = sizeof tool;
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.hwnd = hwnd_;
      tool.uId = reinterpret_cast<UINT_PTR>(r.edit);
      tool.lpszText = LPSTR_TEXTCALLBACKW;
      ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
  }
  ok_ = Control(WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 464, 500, kButtonWidth,
                kButtonHeight, font_.get());
  cancel_ = Control(WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 572, 500, kButtonWidth,
                    kButtonHeight, font_.get());
}

void SettingsDialogWin::Retranslate() {
  SetText(hwnd_, translator_.Translate(kDialogCaption));
  for (int i = 0; i < 2; ++i) SetText(headings_[i], translator_.Translate(kHeadings[i]));
  for (const FolderRow& row : kFolderRows) {
    const Row& r = rows_[static_cast<size_t>(row.number - 1)];
    SetText(r.label, translator_.Translate(row.label));
    SetText(r.button, translator_.Translate(kChoose));
  }
  SetText(ok_, translator_.Translate(kOk));
  SetText(cancel_, translator_.Translate(kCancel));
  if (progress_) progress_->Retranslate();
}

template <typename Handler>
void SettingsDialogWin::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& failure) {
    ReportFailure(DescribeFailure(translator_, failure).c_str());
  } catch (...) {
    ReportFailure(translator_.Translate("An unexpected failure occurred.").c_str());
  }
}

void SettingsDialogWin::ReportFailure(const char* text) noexcept {
  try {
    if (reportFailure_) reportFailure_(text);
  } catch (...) {
  }
}

void SettingsDialogWin::RunModal(SettingsDialogEvents& events) {
  events_ = &events;
  // A ticket that cannot be read is reported; the dialog opens all the same, with what was read.
  Guarded([&] { events.FormCreate(); });
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetForegroundWindow(hwnd_);
  ::SetFocus(ok_);
  MSG message{};
  while (!closed_ && hwnd_) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: leave the quit for the main loop.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) break;
    if (hwnd_ && ::IsDialogMessageW(hwnd_, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  events_ = nullptr;
  if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

void SettingsDialogWin::CloseDialog() { closed_ = true; }

void SettingsDialogWin::OnCommand(int id) {
  if (busy_) return;  // the dialog is hidden while its moves run
  if (id == IDOK) {
    busy_ = true;
    Guarded([&] { events_->btnOKClick(); });
    busy_ = false;
    closed_ = true;  // with OK, also after a failure that ended the moves
  } else if (id == IDCANCEL) {
    closed_ = true;
  } else if (id > control_id::kRowButton && id <= control_id::kRowButton + 5) {
    Guarded([&] { events_->BrowseClick(id - control_id::kRowButton); });
  }
}

LRESULT SettingsDialogWin::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      RECT client{};
      ::GetClientRect(hwnd_, &client);
      RECT panel = client;
      panel.bottom = scale_(kPanelHeight);
      PaintGradient(dc, panel, kPanelTop, kBackground);
      RECT below = client;
      below.top = panel.bottom;
      ::FillRect(dc, &below, background_.get());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      // The edits are never read-only, so only labels, headings and rules come here.
      return backdrop_.ColourFor(hwnd_, reinterpret_cast<HWND>(lParam), wParam,
                                 scale_(kPanelHeight), kPanelTop, kBackground);
    case WM_COMMAND:
      if (events_ && HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->code == TTN_GETDISPINFOW) {
        // Each edit's hint is the folder the ticket names, kept by SetRow.
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        for (Row& r : rows_) {
          if (reinterpret_cast<HWND>(header->idFrom) == r.edit) {
            info->lpszText = r.hint.data();
          }
        }
      }
      return 0;
    }
    case WM_CLOSE:
      // Alt+F4 as Cancel, but never in the middle of a move.
      if (!busy_) closed_ = true;
      return 0;
    case WM_QUERYENDSESSION:
      return AskOwnerWhetherSessionMayEnd(owner_, wParam, lParam);
    case WM_ENDSESSION:
      return 0;  // the main window gets its own
    default:
      return ::DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

void SettingsDialogWin::SetRow(int row, const std::string& text, const std::string& hint) {
  Row& r = rows_.at(static_cast<size_t>(row - 1));
  SetText(r.edit, text);
  r.hint = Utf8ToWide(hint);
}

std::string SettingsDialogWin::RowText(int row) {
  return GetText(rows_.at(static_cast<size_t>(row - 1)).edit);
}

void SettingsDialogWin::HideRow(int row) {
  const Row& r = rows_.at(static_cast<size_t>(row - 1));
  for (HWND control : {r.label, r.edit, r.button}) ::ShowWindow(control, SW_HIDE);
}

void SettingsDialogWin::FocusRow(int row) {
  ::SetFocus(rows_.at(static_cast<size_t>(row - 1)).edit);
}

std::optional<std::string> SettingsDialogWin::BrowseForFolder(const std::string& initialFolder) {
  std::string chosen = win32::BrowseForFolder(hwnd_, L"", Utf8ToWide(initialFolder));
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

void SettingsDialogWin::Open(const std::string& caption) {
  // The progress window's Cancel is the only control in view while a folder moves.
  ::ShowWindow(hwnd_, SW_HIDE);
  progress_ = std::make_unique<TfrmCopyProgress>(instance_, owner_, translator_, caption);
}

void SettingsDialogWin::BlockSessionEnd(const std::string& reason) {
  if (progress_) progress_->BlockSessionEnd(reason);
}

void SettingsDialogWin::SetFileTotal(int64_t total) {
  if (progress_) progress_->SetFileTotal(total);
}

void SettingsDialogWin::StepFile() {
  if (progress_) progress_->StepFile();
}

bool SettingsDialogWin::Cancelled() { return progress_ && progress_->Cancelled(); }

void SettingsDialogWin::ShowPhase(const std::string& text) {
  if (progress_) progress_->ShowPhase(text);
}

void SettingsDialogWin::Close() {
  progress_.reset();
  if (hwnd_ && !closed_) ::ShowWindow(hwnd_, SW_SHOW);
}

void SettingsDialogWin::ShowMessage(const std::string& text, const std::string& caption) {
  HWND owner = progress_ && ::IsWindowVisible(progress_->hwnd()) ? progress_->hwnd() : hwnd_;
  ::MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_OK | MB_ICONERROR);
}

std::unique_ptr<SettingsDialogWindow> SettingsDialogFactoryWin::Create(
    WindowId owner, const Translator& translator,
    std::function<void(const std::string&)> reportFailure) {
  return std::make_unique<SettingsDialogWin>(instance_, reinterpret_cast<HWND>(owner), translator,
                                             std::move(reportFailure));
}

}  // namespace dpc::win32
