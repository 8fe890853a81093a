#include "i18n/translate.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "i18n/failure_text.h"
#include "platform/text_error.h"

namespace dpc {
namespace {

class GermanWords : public Dictionary {
 public:
  std::optional<std::string> Lookup(std::string_view english) const override {
    static const std::map<std::string, std::string, std::less<>> words = {
        {"Exit", "Beenden"},
        {"Failed to set data for '%s'", "Daten für '%s' konnten nicht gesetzt werden"},
        {"File %d of %d", "Datei %d von %d"},
        {"An unexpected failure occurred.", "Ein unerwarteter Fehler ist aufgetreten."},
        {"System Error.  Code: %d.", "Systemfehler.  Code: %d."},
    };
    auto it = words.find(english);
    if (it == words.end()) return std::nullopt;
    return it->second;
  }
};

TEST(TranslatorTest, EnglishUntilALanguageIsSelectedAndUnknownTextsPassThrough) {
  Translator translator;
  EXPECT_EQ(translator.Translate("Exit"), "Exit");
  translator.Select(1031, std::make_shared<GermanWords>());
  EXPECT_EQ(translator.Translate("Exit"), "Beenden");
  EXPECT_EQ(translator.Translate("Start Durvin Proof Server"), "Start Durvin Proof Server");
  EXPECT_EQ(Translator().Translate("Exit"), "Exit") << "a second translator keeps its own language";
}

TEST(TranslatorTest, FormatFillsPlaceholdersInOrderWithPlainText) {
  Translator translator;
  struct Case {
    const char* pattern;
    std::initializer_list<std::string_view> args;
    const char* expected;
  } cases[] = {
      {"'%s' is not a valid integer value", {"%s%d"}, "'%s%d' is not a valid integer value"},
      {"%d / %d", {"3", "120"}, "3 / 120"},
      {"100%% of %s", {"C:\\"}, "100% of C:\\"},
      {"%s and %s", {"one"}, "one and %s"},
  };
  for (const auto& c : cases) EXPECT_EQ(translator.Format(c.pattern, c.args), c.expected);
  translator.Select(1031, std::make_shared<GermanWords>());
  EXPECT_EQ(translator.Format("Failed to set data for '%s'", {"Control"}),
            "Daten für 'Control' konnten nicht gesetzt werden");
  EXPECT_EQ(translator.Format("File %d of %d", {"1", "2"}), "Datei 1 von 2");
}

TEST(TranslatorTest, GenerationCountsOnlyRealChanges) {
  Translator translator;
  auto german = std::make_shared<GermanWords>();
  const auto start = translator.generation();
  translator.Select(1031, german);
  translator.Select(1031, german);
  EXPECT_EQ(translator.generation(), start + 1);
  EXPECT_EQ(translator.lcid(), 1031u);
}

// A failure caught in one language is worded in the language of the moment it is shown.
TEST(FailureTest, KeptAsAValueAndWordedWhenShown) {
  const auto caught = [](auto raise) {
    try {
      raise();
    } catch (...) {
      return Failure::OfCurrent();
    }
    return Failure{};
  };
  const struct {
    const char* name;
    Failure failure;
    const char* german;
  } cases[] = {
      {"a system error", caught([] {
         throw SystemError(OsError{5, "RegSetValueExW", "Access is denied."});
       }),
       "Systemfehler.  Code: 5.\r\nAccess is denied."},
      {"a pattern and its values",
       caught([] { throw TextError("Failed to set data for '%s'", {"Run"}); }),
       "Daten f\u00fcr 'Run' konnten nicht gesetzt werden"},
      {"any other failure, its own text", caught([] { throw std::runtime_error("bad"); }), "bad"},
      {"not a standard exception", caught([] { throw 7; }),
       "Ein unerwarteter Fehler ist aufgetreten."},
      {"a pattern with the system's error",
       Failure{"Failed to set data for '%s'", {"Run"}, OsError{0, "RegSetValueExW", ""}},
       "Daten f\u00fcr 'Run' konnten nicht gesetzt werden\r\n\r\nSystemfehler.  Code: 0.\r\n"
       "A call to an OS function failed"},
  };
  Translator german;
  german.Select(1031, std::make_shared<GermanWords>());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DescribeFailure(german, c.failure), c.german);
  }
}

}  // namespace
}  // namespace dpc
