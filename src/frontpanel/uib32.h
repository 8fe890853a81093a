#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/window_id.h"

// A library built for 32-bit Windows usually exports __stdcall functions; the calls below work
// with __cdecl ones too (see CallExport). Linux builds (tests) have no such keyword.
#if defined(_WIN32)
#define DPC_UIB_CALL __stdcall
#else
#define DPC_UIB_CALL
#endif

namespace dpc {

namespace uib {
// The library's exports, as the calls pass their arguments:
//   int32_t UIB_InitLib(void* window)  -- the window its button messages are posted to
//   int32_t UIB_UnInitLib()
//   int32_t UIB_ClearDisplay()
//   int32_t UIB_DrawText(const char16_t* text, int32_t line, uint8_t highlight, uint8_t style)
//     -- text is NUL-terminated UTF-16
inline constexpr char kLibraryName[] = "libUib32.dll";
// Longest text, in UTF-16 units, that the library accepts before its terminating NUL.
inline constexpr size_t kMaxTextUnits = 127;
}  // namespace uib

// The optional front-panel display library "libUib32.dll". Without it every call is a no-op.
class TUIB32 {
 public:
  explicit TUIB32(LibraryLoader& loader);
  ~TUIB32();
  TUIB32(const TUIB32&) = delete;
  TUIB32& operator=(const TUIB32&) = delete;

  // -1 when not ready, else the library's result; a non-zero result disables the display.
  int InitLib(WindowId window);
  void ClearDisplay();
  // text is UTF-8; at most 127 UTF-16 units reach the library. <windows.h> defines DrawText as
  // a macro: a file that includes it and calls this must #undef DrawText first.
  int DrawText(const std::string& text, int32_t line, uint8_t highlight, uint8_t style);
  // Releases the display and unloads the library; later calls are no-ops.
  void UnInitLib();
  bool ready() const;
  // Why the display is not in use, for the trace log ("libUib32.dll not found", ...); empty when
  // it is ready.
  const std::string& unavailableReason() const { return unavailable_; }

 private:
  std::unique_ptr<DynamicLibrary> library_;
  void* initLib_ = nullptr;
  void* unInitLib_ = nullptr;
  void* clearDisplay_ = nullptr;
  void* drawText_ = nullptr;
  std::string unavailable_;
  bool ready_ = false;
  bool initialised_ = false;
};

}  // namespace dpc
