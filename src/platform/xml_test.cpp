#include "platform/xml.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace dpc {
namespace {

// How a handler tells the failures apart: a system error shows its code, a refusal is translated
// by its pattern, the parser's own words are shown as they are.
std::string Raised(const XmlError& error) {
  try {
    error.Raise();
  } catch (const SystemError& e) {
    return "system " + e.api() + ": " + e.what();
  } catch (const TextError& e) {
    return std::string("pattern ") + e.pattern() + ": " + e.what();
  } catch (const std::runtime_error& e) {
    return std::string("words: ") + e.what();
  }
}

TEST(XmlError, RaisesTheFailureAHandlerDescribes) {
  const std::pair<XmlError, std::string> cases[] = {
      {OsError{5, "CoCreateInstance", "Access is denied."},
       "system CoCreateInstance: System Error.  Code: 5.\r\nAccess is denied."},
      {TextError("%s (line %d)", {"End tag does not match", "3"}),
       "pattern %s (line %d): End tag does not match (line 3)"},
      // Words with a percent sign are no pattern to fill.
      {XmlError::ParserWords("50% done %s"), "words: 50% done %s"},
  };
  for (const auto& [error, seen] : cases) EXPECT_EQ(Raised(error), seen);
}

}  // namespace
}  // namespace dpc
