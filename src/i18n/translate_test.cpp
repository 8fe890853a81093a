#include "i18n/translate.h"

#include <gtest/gtest.h>

#include <map>

#include "fakes/fake_system.h"
#include "i18n/language.h"

namespace dpc {
namespace {

class GermanWords : public Dictionary {
 public:
  std::optional<std::string> Lookup(const std::string& english) const override {
    static const std::map<std::string, std::string> words = {
        {"Exit", "Beenden"},
        {"Failed to set data for '%s'", "Daten für '%s' konnten nicht gesetzt werden"},
    };
    auto it = words.find(english);
    if (it == words.end()) return std::nullopt;
    return it->second;
  }
};

class TranslatorTest : public ::testing::Test {
 protected:
  void TearDown() override { Translator::Instance().SelectDictionary(nullptr); }
};

TEST_F(TranslatorTest, PassesTextThroughUntilALanguageIsSelectedAndSwitchedOn) {
  auto& translator = Translator::Instance();
  EXPECT_EQ(Translate("Exit"), "Exit");
  translator.SelectDictionary(std::make_shared<GermanWords>());
  translator.SwitchOn();
  EXPECT_EQ(Translate("Exit"), "Beenden");
  EXPECT_EQ(Translate("Start Durvin Proof Server"), "Start Durvin Proof Server");
}

TEST_F(TranslatorTest, FormatInsertsTheArgumentAsPlainText) {
  EXPECT_EQ(TranslateFormat("'%s' is not a valid integer value", "%s%d"),
            "'%s%d' is not a valid integer value");
  Translator::Instance().SwitchOn();
  Translator::Instance().SelectDictionary(std::make_shared<GermanWords>());
  EXPECT_EQ(TranslateFormat("Failed to set data for '%s'", "Control"),
            "Daten für 'Control' konnten nicht gesetzt werden");
}

TEST_F(TranslatorTest, LanguageSelectionKeepsEnglishForNow) {
  test::FakeFileSystem files;
  test::FakeXmlParser xml;
  test::FakeShell shell;
  Translator::Instance().SwitchOn();
  Translator::Instance().SelectDictionary(std::make_shared<GermanWords>());
  EXPECT_EQ(SelectInterfaceLanguage({files, xml, shell, "C:\\Durvin\\"}), kEnglishLcid);
  EXPECT_EQ(Translate("Exit"), "Exit");
}

}  // namespace
}  // namespace dpc
