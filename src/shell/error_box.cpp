#include "shell/error_box.h"

namespace dpc {

void ErrorBox::Show(const std::string& text) {
  if (open_) return;
  open_ = true;
  // Nothing is left to report a failing error box with, neither its error nor an exception.
  try {
    (void)desktop_.ShowMessage(translator_.Translate(kApplicationTitle), text);
  } catch (...) {
  }
  open_ = false;
}

}  // namespace dpc
