#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "i18n/translate.h"
#include "platform/failure.h"

namespace dpc {

// "System Error.  Code: %d." in the interface language, a line break and the system's text (in
// the system's language); code 0 reads "A call to an OS function failed".
std::string TranslateSystemError(const Translator& translator, uint32_t code,
                                 const std::string& systemText);

// The operator's text for a failure a handler caught, in the interface language: a system error
// as above, a TextError's pattern translated and filled, any other failure its own text. With an
// English translator it is the trace log's wording.
std::string DescribeFailure(const Translator& translator, const std::exception& failure);
// The same for a failure kept as a value.
std::string DescribeFailure(const Translator& translator, const Failure& failure);

}  // namespace dpc
