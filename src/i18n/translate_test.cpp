#include "i18n/translate.h"

#include <gtest/gtest.h>

#include <map>

namespace dpc {
namespace {

class GermanWords : public Dictionary {
 public:
  std::optional<std::string> Lookup(std::string_view english) const override {
    static const std::map<std::string, std::string, std::less<>> words = {
        {"Exit", "Beenden"},
        {"Failed to set data for '%s'", "Daten für '%s' konnten nicht gesetzt werden"},
        {"File %d of %d", "Datei %d von %d"},
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

}  // namespace
}  // namespace dpc
