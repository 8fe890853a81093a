#pragma once

// CONTRACT SKETCH: the surface the main window relies on. The front-panel owner completes it.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/window_id.h"

namespace dpc {

// The optional front-panel display library "libUib32.dll". Without it every call is a no-op.
class TUIB32 {
 public:
  explicit TUIB32(LibraryLoader& loader);
  ~TUIB32();
  int InitLib(WindowId window);
  void ClearDisplay();
  // text is UTF-8; at most 127 UTF-16 units reach the library.
  int DrawText(const std::string& text, int32_t line, uint8_t highlight, uint8_t style);
  void UnInitLib();
  bool ready() const;
};

}  // namespace dpc
