#include "i18n/failure_text.h"

#include "platform/os_error.h"
#include "platform/text_error.h"

namespace dpc {

std::string TranslateSystemError(const Translator& translator, uint32_t code,
                                 const std::string& systemText) {
  const std::string text =
      code == 0 ? translator.Translate("A call to an OS function failed") : systemText;
  return translator.Format("System Error.  Code: %d.", {std::to_string(code)}) + "\r\n" + text;
}

std::string DescribeFailure(const Translator& translator, const std::exception& failure) {
  if (const auto* system = dynamic_cast<const SystemError*>(&failure)) {
    return TranslateSystemError(translator, system->code(), system->systemText());
  }
  if (const auto* text = dynamic_cast<const TextError*>(&failure)) {
    return FillPattern(translator.Translate(text->pattern()), text->values());
  }
  return failure.what();
}

}  // namespace dpc
