#include "platform/xml.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace dpc {
namespace {

// A handler tells the failures apart by type: a system error shows its code, a refusal is
// translated by its pattern, the parser's own words are shown as they are.
TEST(XmlError, RaisesTheFailureAHandlerDescribes) {
  try {
    XmlError(OsError{0x80040154u, "CoCreateInstance", "Class not registered"}).Raise();
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 0x80040154u);
    EXPECT_EQ(error.api(), "CoCreateInstance");
    EXPECT_EQ(error.systemText(), "Class not registered");
  }

  try {
    XmlError(TextError("%s (line %d)", {"End tag does not match", "3"})).Raise();
  } catch (const TextError& error) {
    EXPECT_STREQ(error.pattern(), "%s (line %d)");
    EXPECT_EQ(error.values(), (std::vector<std::string>{"End tag does not match", "3"}));
    EXPECT_STREQ(error.what(), "End tag does not match (line 3)");
  }

  // The words of "50% done" must not be read as a pattern.
  const XmlError words = XmlError::ParserWords("50% done %s");
  EXPECT_EQ(words.system(), nullptr);
  try {
    words.Raise();
  } catch (const TextError&) {
    ADD_FAILURE() << "the parser's words were raised as a pattern to translate";
  } catch (const SystemError&) {
    ADD_FAILURE() << "the parser's words were raised as a system error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "50% done %s");
  }
}

}  // namespace
}  // namespace dpc
