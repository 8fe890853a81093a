#include "app/settings_dlg_win.h"

#include <commctrl.h>

#include <exception>
#include <iterator>
#include <utility>

#include "app/folder_browser.h"
#include "i18n/failure_text.h"
#include "maintenance/folder_rows.h"
#include "app/icons.h"
#include "platform/win32/text.h"

namespace dpc::app {

using win32::ScopedBrush;
using win32::Utf8ToWide;

namespace {

constexpr COLORREF kBackground = RGB(224, 224, 224);

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

// The browse buttons' designed handlers, by row.
constexpr void (SettingsDlgEvents::*kBrowseHandlers[])() = {
    &SettingsDlgEvents::rpfbtnClick, &SettingsDlgEvents::mpfbtnClick,
    &SettingsDlgEvents::jfbtnClick, &SettingsDlgEvents::ofbtnClick, &SettingsDlgEvents::tfbtnClick};
static_assert(std::size(kBrowseHandlers) == std::size(kFolderRows));

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

}  // namespace

SettingsDlgWin::SettingsDlgWin(HINSTANCE instance, HWND owner, const Translator& translator,
                               std::function<void(const Failure&)> reportFailure)
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

SettingsDlgWin::~SettingsDlgWin() {
  progress_.reset();
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void SettingsDlgWin::ConfigureClass(WNDCLASSEXW& wc) { wc.hbrBackground = nullptr; }

HWND SettingsDlgWin::Control(const wchar_t* className, DWORD style, int id, int x, int y, int width,
                             int height, HFONT font) {
  HWND child = ::CreateWindowExW(
      id >= control_id::kRowEdit && id < control_id::kRowButton ? WS_EX_CLIENTEDGE : 0, className,
      L"", WS_CHILD | WS_VISIBLE | style, scale_(x), scale_(y), scale_(width), scale_(height),
      hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

void SettingsDlgWin::CreateControls() {
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

void SettingsDlgWin::Retranslate() {
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
void SettingsDlgWin::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (...) {
    ReportFailure(Failure::OfCurrent());
  }
}

void SettingsDlgWin::ReportFailure(const Failure& failure) noexcept {
  try {
    if (reportFailure_) reportFailure_(failure);
  } catch (...) {
  }
}

void SettingsDlgWin::RunModal(SettingsDlgEvents& events) {
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
    if (TakeDialogKey(message) || (hwnd_ && ::IsDialogMessageW(hwnd_, &message))) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  events_ = nullptr;
  if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

void SettingsDlgWin::CloseDialog() {
  closed_ = true;
  busy_ = false;
}

void SettingsDlgWin::OnCommand(int id) {
  if (busy_) return;  // the dialog is hidden while its moves run
  if (id == IDOK) {
    // The moves run as the main window's operation and close the dialog when they end.
    busy_ = true;
    Guarded([&] { events_->btnOKClick(); });
  } else if (id == IDCANCEL) {
    closed_ = true;
  } else if (id > control_id::kRowButton && id <= control_id::kRowButton + 5) {
    const auto handler = kBrowseHandlers[id - control_id::kRowButton - 1];
    Guarded([&] { (events_->*handler)(); });
  }
}

LRESULT SettingsDlgWin::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam) {
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

void SettingsDlgWin::SetRow(int row, const std::string& text, const std::string& hint) {
  Row& r = rows_.at(static_cast<size_t>(row - 1));
  SetText(r.edit, text);
  r.hint = Utf8ToWide(hint);
}

std::string SettingsDlgWin::RowText(int row) {
  return GetText(rows_.at(static_cast<size_t>(row - 1)).edit);
}

void SettingsDlgWin::HideRow(int row) {
  const Row& r = rows_.at(static_cast<size_t>(row - 1));
  for (HWND control : {r.label, r.edit, r.button}) ::ShowWindow(control, SW_HIDE);
}

void SettingsDlgWin::FocusRow(int row) { ::SetFocus(rows_.at(static_cast<size_t>(row - 1)).edit); }

std::optional<std::string> SettingsDlgWin::BrowseForFolder(const std::string& initialFolder) {
  std::string chosen = app::BrowseForFolder(hwnd_, L"", Utf8ToWide(initialFolder));
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

void SettingsDlgWin::Open(const std::string& caption) {
  // The progress window's Cancel is the only control in view while a folder moves.
  ::ShowWindow(hwnd_, SW_HIDE);
  progress_ = std::make_unique<TfrmCopyProgress>(
      instance_, owner_, translator_, caption,
      [this](const Failure& failure) { ReportFailure(failure); });
}

void SettingsDlgWin::BlockSessionEnd(const std::string& reason) {
  if (progress_) progress_->BlockSessionEnd(reason);
}

void SettingsDlgWin::SetFileTotal(int64_t total) {
  if (progress_) progress_->SetFileTotal(total);
}

void SettingsDlgWin::StepFile() {
  if (progress_) progress_->StepFile();
}

bool SettingsDlgWin::Cancelled() { return progress_ && progress_->Cancelled(); }

void SettingsDlgWin::ShowPhase(const std::string& text) {
  if (progress_) progress_->ShowPhase(text);
}

void SettingsDlgWin::Close() {
  progress_.reset();
  if (hwnd_ && !closed_) ::ShowWindow(hwnd_, SW_SHOW);
}

void SettingsDlgWin::ShowMessage(const std::string& text, const std::string& caption) {
  HWND owner = progress_ && ::IsWindowVisible(progress_->hwnd()) ? progress_->hwnd() : hwnd_;
  ::MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_OK | MB_ICONERROR);
}

std::unique_ptr<SettingsDlgWindow> SettingsDlgFactoryWin::Create(
    WindowId owner, const Translator& translator,
    std::function<void(const Failure&)> reportFailure) {
  return std::make_unique<SettingsDlgWin>(instance_, reinterpret_cast<HWND>(owner), translator,
                                          std::move(reportFailure));
}

}  // namespace dpc::app
