#include "i18n/failure_text.h"

#include "platform/text_error.h"

namespace dpc {

std::string TranslateSystemError(const Translator& translator, uint32_t code,
                                 const std::string& systemText) {
  const std::string text =
      code == 0 ? translator.Translate("A call to an OS function failed") : systemText;
  return translator.Format("System Error.  Code: %d.", {std::to_string(code)}) + "\r\n" + text;
}

std::string DescribeFailure(const Translator& translator, const std::exception& failure) {
  return DescribeFailure(translator, Failure::Of(failure));
}

std::string DescribeFailure(const Translator& translator, const Failure& failure) {
  std::string text;
  if (failure.pattern) text = FillPattern(translator.Translate(failure.pattern), failure.values);
  if (failure.error) {
    if (!text.empty()) text += "\r\n\r\n";
    text += TranslateSystemError(translator, failure.error->code, failure.error->text);
  }
  return text;
}

}  // namespace dpc
