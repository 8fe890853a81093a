#pragma once

#include <windows.h>

#include <map>
#include <utility>

#include "platform/host_window.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::app {

// The tray and menu images (image::kGrey .. kShield), loaded from the executable's resources at
// the pixel size asked for, so they are drawn from a real bitmap of that size at every scale
// rather than stretched. Loaded icons are kept until the set is destroyed.
class IconSet {
 public:
  explicit IconSet(HINSTANCE instance) : instance_(instance) {}

  // nullptr for an unknown index or when the resource cannot be loaded.
  HICON Get(int image, int size);
  // The same image in grey and half transparent, for disabled menu items.
  HICON GetDisabled(int image, int size);

 private:
  HINSTANCE instance_;
  std::map<std::pair<int, int>, win32::ScopedIcon> cache_;
  std::map<std::pair<int, int>, win32::ScopedIcon> disabled_;
};

// The small-icon size (the tray's and the menu's) at the given DPI.
int SmallIconSize(UINT dpi);

// The system's DPI (the one the notification area uses) and the DPI of a window, each falling
// back to the screen's when the system lacks the per-monitor functions.
UINT SystemDpi();
UINT DpiForWindow(HWND window);

}  // namespace dpc::app
