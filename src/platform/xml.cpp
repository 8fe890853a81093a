#include "platform/xml.h"

#include <stdexcept>

namespace dpc {

void XmlError::Raise() const {
  if (const auto* system = std::get_if<OsError>(&reason_)) throw SystemError(*system);
  if (const auto* refusal = std::get_if<TextError>(&reason_)) throw *refusal;
  throw std::runtime_error(std::get<Words>(reason_).text);
}

}  // namespace dpc
