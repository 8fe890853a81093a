#include "platform/failure.h"

#include "platform/text_error.h"

namespace dpc {

Failure Failure::Of(const std::exception& caught) {
  if (const auto* system = dynamic_cast<const SystemError*>(&caught)) {
    return {nullptr, {}, OsError{system->code(), system->api(), system->systemText()}};
  }
  if (const auto* text = dynamic_cast<const TextError*>(&caught)) {
    return {text->pattern(), text->values(), std::nullopt};
  }
  return {"%s", {caught.what()}, std::nullopt};
}

Failure Failure::OfCurrent() {
  try {
    throw;
  } catch (const std::exception& caught) {
    return Of(caught);
  } catch (...) {
    return Of(TextError("An unexpected failure occurred.", {}));
  }
}

}  // namespace dpc
