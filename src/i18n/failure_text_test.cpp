#include "i18n/failure_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "fakes/pseudo_language.h"
#include "platform/os_error.h"
#include "platform/text_error.h"

namespace dpc {
namespace {

TEST(DescribeFailure, SystemAndTextErrorsAreWordedInTheInterfaceLanguage) {
  const std::string o = test::kMarkOpen;
  const std::string c = test::kMarkClose;
  const SystemError denied(OsError{5, "RegOpenKeyExW", "Access is denied."});
  const SystemError noCode(OsError{0, "CreateFileW", ""});
  // A '%' in a value is plain text.
  const TextError xml("The XML file %s has no document element", {"C:\\100%s.xml"});
  const std::runtime_error plain("the parser's own words");
  const struct {
    const std::exception& failure;
    std::string english;
    std::string pseudo;
  } cases[] = {
      {denied, "System Error.  Code: 5.\r\nAccess is denied.",
       o + "System Error.  Code: 5." + c + "\r\nAccess is denied."},
      {noCode, "System Error.  Code: 0.\r\nA call to an OS function failed",
       o + "System Error.  Code: 0." + c + "\r\n" + o + "A call to an OS function failed" + c},
      {xml, "The XML file C:\\100%s.xml has no document element",
       o + "The XML file C:\\100%s.xml has no document element" + c},
      {plain, "the parser's own words", "the parser's own words"},
  };
  Translator pseudo;
  pseudo.Select(1031, std::make_shared<test::PseudoDictionary>());
  for (const auto& row : cases) {
    EXPECT_EQ(DescribeFailure(Translator(), row.failure), row.english);
    EXPECT_EQ(DescribeFailure(pseudo, row.failure), row.pseudo);
  }
  // The trace log keeps what() in English whatever the interface says.
  EXPECT_EQ(std::string(xml.what()), "The XML file C:\\100%s.xml has no document element");
}

}  // namespace
}  // namespace dpc
