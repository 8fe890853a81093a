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

std::string DescribeSystemError(const Translator& translator, const SystemError& error) {
  const std::string text = error.code() == 0
                               ? translator.Translate("A call to an OS function failed")
                               : error.systemText();
  return translator.Format("System Error.  Code: %d.", {std::to_string(error.code())}) + "\r\n" +
         text;
}

}  // namespace dpc
