#include "frontpanel/uib32.h"

#include "frontpanel/export_call.h"
#include "frontpanel/utf16.h"

namespace dpc {

TUIB32::TUIB32(LibraryLoader& loader) {
  OsResult<std::unique_ptr<DynamicLibrary>> loaded = loader.Load(uib::kLibraryName);
  if (!loaded) {
    unavailable_ = std::string(uib::kLibraryName) + " not found";
    return;
  }
  library_ = std::move(*loaded);
  // A missing export leaves its address null, and the library unusable.
  const auto address = [&](const char* name) -> void* {
    const OsResult<void*> found = library_->Symbol(name);
    return found ? *found : nullptr;
  };
  initLib_ = address("UIB_InitLib");
  unInitLib_ = address("UIB_UnInitLib");
  clearDisplay_ = address("UIB_ClearDisplay");
  drawText_ = address("UIB_DrawText");
  ready_ = initLib_ && unInitLib_ && clearDisplay_ && drawText_;
  if (!ready_) unavailable_ = std::string(uib::kLibraryName) + " lacks an export";
}

TUIB32::~TUIB32() {
  // A library that was initialised may run its own threads or hold the window; release it before
  // its code is unmapped, should the owner not have done so.
  if (initialised_) UnInitLib();
}

int TUIB32::InitLib(WindowId window) {
  if (!ready_) return -1;
  const int32_t result = CallExport(initLib_, reinterpret_cast<void*>(window));
  if (result != 0) {
    ready_ = false;
    unavailable_ = "UIB_InitLib returned " + std::to_string(result);
  } else {
    initialised_ = true;
  }
  return result;
}

void TUIB32::ClearDisplay() {
  if (ready_) CallExport(clearDisplay_);
}

int TUIB32::DrawText(const std::string& text, int32_t line, uint8_t highlight, uint8_t style) {
  if (!ready_) return -1;
  std::u16string wide(CutUtf16(Utf8ToUtf16(text), uib::kMaxTextUnits));
  return CallExport(drawText_, static_cast<const char16_t*>(wide.c_str()), line, highlight, style);
}

void TUIB32::UnInitLib() {
  initialised_ = false;
  if (!ready_) return;
  ready_ = false;
  CallExport(unInitLib_);
  library_.reset();
}

bool TUIB32::ready() const { return ready_; }

}  // namespace dpc
