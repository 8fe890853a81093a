#include "shell/error_box.h"

namespace dpc {

void ErrorBox::Show(const std::string& text) {
  if (open_) return;
  open_ = true;
  try {
    desktop_.ShowMessage(translator_.Translate(kApplicationTitle), text);
  } catch (...) {
    // Nothing is left to report a failing error box with.
  }
  open_ = false;
}

}  // namespace dpc
