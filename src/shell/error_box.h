#pragma once

#include <string>

#include "i18n/translate.h"
#include "platform/desktop.h"

namespace dpc {

inline constexpr const char* kApplicationTitle = UiText("Durvin Proof Control");

// The application's general error box: the title, the failure's text and OK. While one is open
// (its modal loop keeps timers running), further failures are dropped rather than piling up boxes.
class ErrorBox {
 public:
  ErrorBox(Desktop& desktop, const Translator& translator)
      : desktop_(desktop), translator_(translator) {}

  void Show(const std::string& text);

 private:
  Desktop& desktop_;
  const Translator& translator_;
  bool open_ = false;
};

}  // namespace dpc
