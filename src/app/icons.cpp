#include "app/icons.h"

#include <commctrl.h>

#include <iterator>

#include "resource_ids.h"
#include "platform/win32/system_functions.h"

namespace dpc::app {

using win32::ScopedBitmap;

namespace {

UINT ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// The system's stock shield, the one operators know from elevation prompts. comctl32 version 6
// has it at any size; nullptr where it is missing.
HICON LoadStockShield(int size) {
  const auto load = win32::system_function::LoadIconWithScaleDown();
  HICON icon = nullptr;
  if (!load || FAILED(load(nullptr, IDI_SHIELD, size, size, &icon))) return nullptr;
  return icon;
}

// A copy of a 32-bit icon with every pixel turned to grey at half its opacity; nullptr when the
// icon has no colour bitmap with alpha.
HICON MakeDisabledCopy(HICON icon, int size) {
  ICONINFO info{};
  if (!::GetIconInfo(icon, &info)) return nullptr;
  // GetIconInfo hands out copies of the icon's bitmaps.
  const ScopedBitmap iconColour(info.hbmColor);
  const ScopedBitmap iconMask(info.hbmMask);
  BITMAP shape{};
  if (!info.hbmColor || !::GetObjectW(info.hbmColor, sizeof shape, &shape) ||
      shape.bmWidth != size || shape.bmHeight != size)
    return nullptr;

  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = size;
  bmi.bmiHeader.biHeight = -size;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  const ScopedBitmap colour(::CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
  const int rows = colour ? ::GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(size), bits,
                                        &bmi, DIB_RGB_COLORS)
                          : 0;
  ::ReleaseDC(nullptr, screen);
  if (rows != size) return nullptr;
  auto* pixel = static_cast<BYTE*>(bits);
  bool anyAlpha = false;
  for (int i = 0; i < size * size; ++i) anyAlpha = anyAlpha || pixel[i * 4 + 3] != 0;
  // Without alpha the transparency lives in the mask; such an icon is shown unchanged.
  if (!anyAlpha) return nullptr;
  for (int i = 0; i < size * size; ++i, pixel += 4) {
    const int grey = (pixel[0] * 11 + pixel[1] * 59 + pixel[2] * 30) / 100;
    const BYTE light = static_cast<BYTE>(grey + (255 - grey) / 3);
    pixel[0] = pixel[1] = pixel[2] = light;
    pixel[3] = static_cast<BYTE>(pixel[3] / 2);
  }
  ICONINFO disabled{TRUE, 0, 0, info.hbmMask, colour.get()};
  return ::CreateIconIndirect(&disabled);
}

}  // namespace

HICON IconSet::GetDisabled(int image, int size) {
  auto& slot = disabled_[{image, size}];
  if (slot) return slot.get();
  HICON normal = Get(image, size);
  if (!normal) return nullptr;
  slot.reset(MakeDisabledCopy(normal, size));
  return slot ? slot.get() : normal;
}

HICON IconSet::Get(int image, int size) {
  // By image number, from image::kGrey.
  static constexpr int kResources[] = {IDI_DPC_GREY, IDI_DPC_RED, IDI_DPC_GREEN, IDI_DPC_SHIELD};
  static_assert(image::kGrey == 0 && std::size(kResources) == image::kShield + 1);
  if (image < image::kGrey || image > image::kShield || size <= 0) return nullptr;
  auto& slot = cache_[{image, size}];
  if (slot) return slot.get();
  HICON icon = image == image::kShield ? LoadStockShield(size) : nullptr;
  if (!icon) {
    // LoadImageW picks the resource's bitmap of this exact size when there is one.
    icon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(kResources[image]),
                                           IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  }
  slot.reset(icon);
  return icon;
}

int SmallIconSize(UINT dpi) {
  const auto forDpi = win32::system_function::GetSystemMetricsForDpi();
  if (forDpi) {
    const int size = forDpi(SM_CXSMICON, dpi);
    if (size > 0) return size;
  }
  // 16 px at 100 %, scaled like the system scales its own metrics.
  return ::MulDiv(::GetSystemMetrics(SM_CXSMICON), static_cast<int>(dpi),
                  static_cast<int>(SystemDpi()));
}

UINT SystemDpi() {
  const auto forSystem = win32::system_function::GetDpiForSystem();
  const UINT dpi = forSystem ? forSystem() : 0;
  return dpi ? dpi : ScreenDpi();
}

UINT DpiForWindow(HWND window) {
  const auto forWindow = win32::system_function::GetDpiForWindow();
  const UINT dpi = forWindow && window ? forWindow(window) : 0;
  return dpi ? dpi : SystemDpi();
}

}  // namespace dpc::app
