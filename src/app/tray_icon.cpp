#include "app/tray_icon.h"

#include <shellapi.h>

#include <algorithm>

namespace dpc::app {

std::wstring FitTrayTip(std::wstring_view hint) { return FitTrayText(hint, kTrayTipLimit); }

std::wstring FitTrayText(std::wstring_view text, size_t limit) {
  text = text.substr(0, text.find(L'\0'));
  if (text.size() <= limit || limit == 0) return std::wstring(text.substr(0, limit));
  size_t length = limit;
  // A high surrogate as the last unit would be half a character.
  if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
  return std::wstring(text.substr(0, length));
}

TrayIcon::TrayIcon(HWND owner, UINT id, UINT callbackMessage)
    : owner_(owner), id_(id), callbackMessage_(callbackMessage) {}

TrayIcon::~TrayIcon() { Remove(); }

NOTIFYICONDATAW TrayIcon::Data(UINT flags) const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner_;
  data.uID = id_;
  data.uFlags = flags;
  data.uCallbackMessage = callbackMessage_;
  data.hIcon = icon_;
  const size_t count = std::min(tip_.size(), std::size(data.szTip) - 1);
  std::copy_n(tip_.data(), count, data.szTip);
  return data;
}

bool TrayIcon::Add() {
  // After an Explorer restart the old entry is gone; a stale one is removed first so the add
  // cannot fail as a duplicate.
  if (shown_) Remove();
  NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
  // A busy Explorer can time the add out and still show the icon; then a modify succeeds.
  if (!::Shell_NotifyIconW(NIM_ADD, &data) && !::Shell_NotifyIconW(NIM_MODIFY, &data)) return false;
  shown_ = true;
  data.uVersion = NOTIFYICON_VERSION_4;
  versionFour_ = ::Shell_NotifyIconW(NIM_SETVERSION, &data) != FALSE;
  return true;
}

void TrayIcon::Remove() {
  if (!shown_) return;
  NOTIFYICONDATAW data = Data(0);
  ::Shell_NotifyIconW(NIM_DELETE, &data);
  shown_ = false;
}

void TrayIcon::Show(HICON icon, std::wstring_view tip) {
  icon_ = icon;
  tip_ = FitTrayTip(tip);
  Update();
}

void TrayIcon::SetTip(std::wstring_view tip) {
  tip_ = FitTrayTip(tip);
  Update();
}

bool TrayIcon::ShowBalloon(std::wstring_view title, std::wstring_view text, DWORD flags) {
  if (!shown_ && !Add()) return false;
  NOTIFYICONDATAW data = Data(NIF_INFO);
  const std::wstring fittedTitle = FitTrayText(title, std::size(data.szInfoTitle) - 1);
  const std::wstring fittedText = FitTrayText(text, std::size(data.szInfo) - 1);
  std::copy(fittedTitle.begin(), fittedTitle.end(), data.szInfoTitle);
  std::copy(fittedText.begin(), fittedText.end(), data.szInfo);
  data.dwInfoFlags = flags;
  // Only shells before Vista read the timeout (and Wine's, which holds it to 10..30 s).
  data.uTimeout = 30000;
  return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void TrayIcon::Update() {
  if (shown_) {
    NOTIFYICONDATAW data = Data(NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    if (::Shell_NotifyIconW(NIM_MODIFY, &data)) return;
    // The shell lost the icon (Explorer restarted before its broadcast reached us).
    shown_ = false;
  }
  Add();
}

}  // namespace dpc::app
