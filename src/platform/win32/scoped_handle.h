#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace dpc::win32 {

// A move-only owner of one handle. Traits name the handle type, its invalid value and how it is
// released; copies are forbidden so a handle can never be closed twice.
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() noexcept = default;
  explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
  ~ScopedHandle() { reset(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Gives up ownership without closing.
  [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

  void reset(Handle handle = Traits::Invalid()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // For out-parameters of APIs that fill in a fresh handle: releases the current one first.
  Handle* receive() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

namespace handle_traits {

struct ServiceHandle {
  using Handle = SC_HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CloseServiceHandle(h); }
};

struct RegistryKey {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

// CreateFile reports failure as INVALID_HANDLE_VALUE, not NULL.
struct FileHandle {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

// Processes, threads, events, mutexes, tokens: failure is NULL.
struct KernelHandle {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct Module {
  using Handle = HMODULE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};

struct FindHandle {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::FindClose(h); }
};

struct Icon {
  using Handle = HICON;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};

struct Menu {
  using Handle = HMENU;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DestroyMenu(h); }
};

// Memory device contexts (CreateCompatibleDC).
struct MemoryDc {
  using Handle = HDC;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DeleteDC(h); }
};

// Fonts, brushes, pens and bitmaps.
template <typename GdiHandle>
struct GdiObject {
  using Handle = GdiHandle;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

template <typename Interface>
struct ComPointer {
  using Handle = Interface*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle p) noexcept { p->Release(); }
};

}  // namespace handle_traits

using ScopedServiceHandle = ScopedHandle<handle_traits::ServiceHandle>;
using ScopedRegistryKey = ScopedHandle<handle_traits::RegistryKey>;
using ScopedFileHandle = ScopedHandle<handle_traits::FileHandle>;
using ScopedKernelHandle = ScopedHandle<handle_traits::KernelHandle>;
using ScopedModule = ScopedHandle<handle_traits::Module>;
using ScopedFindHandle = ScopedHandle<handle_traits::FindHandle>;
using ScopedIcon = ScopedHandle<handle_traits::Icon>;
using ScopedMenu = ScopedHandle<handle_traits::Menu>;
using ScopedMemoryDc = ScopedHandle<handle_traits::MemoryDc>;
using ScopedFont = ScopedHandle<handle_traits::GdiObject<HFONT>>;
using ScopedBrush = ScopedHandle<handle_traits::GdiObject<HBRUSH>>;
using ScopedPen = ScopedHandle<handle_traits::GdiObject<HPEN>>;
using ScopedBitmap = ScopedHandle<handle_traits::GdiObject<HBITMAP>>;

// Selects a GDI object into a device context for the scope, then puts the previous one back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_) ::SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Owns one COM reference. receive() suits CoCreateInstance / QueryInterface out-parameters (cast
// with IID_PPV_ARGS-style helpers where the API takes void**).
template <typename Interface>
using ComPtr = ScopedHandle<handle_traits::ComPointer<Interface>>;

}  // namespace dpc::win32
