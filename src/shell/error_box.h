#pragma once

#include <string>

#include "platform/desktop.h"

namespace dpc {

inline constexpr char kApplicationTitle[] = "Durvin Proof Control";

// The application's general error box: the title, the failure's text and OK. While one is open
// (its modal loop keeps timers running), further failures are dropped rather than piling up boxes.
class ErrorBox {
 public:
  explicit ErrorBox(Desktop& desktop) : desktop_(desktop) {}

  void Show(const std::string& text);
  bool open() const { return open_; }

 private:
  Desktop& desktop_;
  bool open_ = false;
};

}  // namespace dpc
