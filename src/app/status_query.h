#pragma once

// A message another process on the desktop can send to the controller's hidden main window to ask
// what it shows, so scripts and tests need not read pixels:
// SendMessage(window, kStatusQueryMessage, what, 0).
#include <cstdint>

namespace dpc::app {

inline constexpr unsigned kStatusQueryMessage = 0x8021;  // WM_APP + 0x21, beside the panel's 0x8020

// Texts (see TextQuery in platform/host_window.h): SendMessage(window, kTextQueryMessage,
// MAKEWPARAM(what, index), replyWindow). The controller answers by sending WM_COPYDATA to
// replyWindow with dwData equal to the query's wParam and the UTF-8 text as data, and returns 1;
// it returns 0 for a query it cannot answer.
inline constexpr unsigned kTextQueryMessage = 0x8022;

enum class StatusQuery : uintptr_t {
  TrayImage = 0,       // 0 grey, 1 red, 2 green
  Timer1Interval = 1,  // milliseconds
  TrayIconShown = 2,   // 1 while the icon is in the notification area, else 0
};

}  // namespace dpc::app
