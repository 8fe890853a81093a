#include "platform/win32/tray_icon.h"

#include <shellapi.h>

#include <algorithm>

namespace dpc::win32 {

std::wstring FitTrayTip(std::wstring_view hint) {
  hint = hint.substr(0, hint.find(L'\0'));
  if (hint.size() <= kTrayTipLimit) return std::wstring(hint);
  size_t length = kTrayTipLimit;
  // A high surrogate as the last unit would be half a character.
  if (hint[length - 1] >= 0xD800 && hint[length - 1] <= 0xDBFF) --length;
  return std::wstring(hint.substr(0, length));
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

void TrayIcon::Update() {
  if (shown_) {
    NOTIFYICONDATAW data = Data(NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    if (::Shell_NotifyIconW(NIM_MODIFY, &data)) return;
    // The shell lost the icon (Explorer restarted before its broadcast reached us).
    shown_ = false;
  }
  Add();
}

}  // namespace dpc::win32
