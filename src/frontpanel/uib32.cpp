#include "frontpanel/uib32.h"

#include "frontpanel/utf16.h"

namespace dpc {
namespace {

template <typename Fn>
Fn Lookup(DynamicLibrary& library, const char* name) {
  return reinterpret_cast<Fn>(library.Symbol(name));
}

}  // namespace

TUIB32::TUIB32(LibraryLoader& loader) : library_(loader.Load(uib::kLibraryName)) {
  if (!library_) return;
  initLib_ = Lookup<uib::InitLibFn>(*library_, "UIB_InitLib");
  unInitLib_ = Lookup<uib::UnInitLibFn>(*library_, "UIB_UnInitLib");
  clearDisplay_ = Lookup<uib::ClearDisplayFn>(*library_, "UIB_ClearDisplay");
  drawText_ = Lookup<uib::DrawTextFn>(*library_, "UIB_DrawText");
  ready_ = initLib_ && unInitLib_ && clearDisplay_ && drawText_;
}

TUIB32::~TUIB32() {
  // A library that was initialised may run its own threads or hold the window; release it before
  // its code is unmapped, should the owner not have done so.
  if (initialised_) UnInitLib();
}

int TUIB32::InitLib(WindowId window) {
  if (!ready_) return -1;
  const int32_t result = initLib_(reinterpret_cast<void*>(window));
  if (result != 0) {
    ready_ = false;
  } else {
    initialised_ = true;
  }
  return result;
}

void TUIB32::ClearDisplay() {
  if (ready_) clearDisplay_();
}

int TUIB32::DrawText(const std::string& text, int32_t line, uint8_t highlight, uint8_t style) {
  if (!ready_) return -1;
  std::u16string wide(CutUtf16(Utf8ToUtf16(text), uib::kMaxTextUnits));
  return drawText_(wide.c_str(), line, highlight, style);
}

void TUIB32::UnInitLib() {
  initialised_ = false;
  if (!ready_) return;
  ready_ = false;
  unInitLib_();
  library_.reset();
}

bool TUIB32::ready() const { return ready_; }

}  // namespace dpc
