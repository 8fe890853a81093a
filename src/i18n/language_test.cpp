#include "i18n/language.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

const std::string kController = "C:\\Durvin\\Control\\Tickets\\SYS_0000.xml";
const std::string kLegacy = "C:\\ProgramData\\Kelvra\\Kelvra Tarn\\Server\\Tickets\\SYS_0000.xml";
const std::string kSettings = "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";

class LanguageSelectorTest : public ::testing::Test {
 protected:
  void SetUp() override { shell.specialFolders[0x23] = "C:\\ProgramData"; }

  // A well-formed ticket: document element > System > CountryCode (left out when null).
  void Ticket(const std::string& path, const char* code) {
    test::FakeXmlNode system{"System", "", {}};
    if (code) system.children.push_back({"CountryCode", code, {}});
    xml.documents[path] = {"Ticket", "", {system}};
    Touch(path);
  }
  // Rewrites the file as far as its stamp tells.
  void Touch(const std::string& path) {
    files.files[path] = "<Ticket/>";
    ++files.writeTimes[path];
  }
  uint32_t Lcid() { return selector.Select(translator).lcid; }

  test::FakeFileSystem files;
  test::FakeXmlParser xml;
  test::FakeShell shell;
  Translator translator;
  LanguageSelector selector{{files, xml, shell, "C:\\Durvin\\Control\\"}};
};

TEST_F(LanguageSelectorTest, CountryCodeNamesATableLanguageElseEnglish) {
  const struct {
    const char* code;
    uint32_t lcid;
  } cases[] = {{"1031", 1031},  {"1041", 1041},   {"3082", 3082},       {" 1036\r\n", 1036},
               {"2057", 1033},  {"German", 1033}, {"", 1033},           {nullptr, 1033},
               {"-1031", 1033}, {"1031x", 1033},  {"4294968327", 1033}, {"0x407", 1033}};
  for (const auto& c : cases) {
    Ticket(kSettings, c.code);
    EXPECT_EQ(Lcid(), c.lcid) << (c.code ? c.code : "no CountryCode");
  }
  Ticket(kSettings, "1031");
  EXPECT_EQ(Lcid(), 1031u);
  EXPECT_EQ(translator.Translate("Exit"), "Beenden");
  Ticket(kSettings, "1041");
  EXPECT_EQ(Lcid(), 1041u);
  EXPECT_EQ(translator.Translate("Exit"), "終了");
}

TEST_F(LanguageSelectorTest, EachExistingTicketReplacesTheCodeOfTheOneBefore) {
  const struct {
    const char *controller, *legacy, *settings;
    uint32_t lcid;
  } cases[] = {
      {"1036", "1031", nullptr, 1031},   {"1036", nullptr, nullptr, 1036},
      {"1036", "1031", "1040", 1040},    {nullptr, "1031", "", 1033},
      {nullptr, nullptr, nullptr, 1033},
  };
  for (const auto& c : cases) {
    for (auto [path, code] :
         {std::pair{kController, c.controller}, {kLegacy, c.legacy}, {kSettings, c.settings}}) {
      if (code)
        Ticket(path, code);
      else
        files.files.erase(path);
    }
    EXPECT_EQ(Lcid(), c.lcid) << c.controller << "/" << c.legacy << "/" << c.settings;
  }
  // Without a common folder only the controller's ticket is read, never a path without a drive.
  shell.specialFolders.clear();
  LanguageSelector noCommonFolder{{files, xml, shell, "C:\\Durvin\\Control\\"}};
  Ticket(kController, "1042");
  Ticket("\\Kelvra\\Kelvra Tarn\\Server\\Tickets\\SYS_0000.xml", "1031");
  EXPECT_EQ(noCommonFolder.Select(translator).lcid, 1042u);
}

TEST_F(LanguageSelectorTest, UnreadableTicketKeepsTheLanguageAndIsShownOncePerVersion) {
  Ticket(kSettings, "1031");
  ASSERT_EQ(Lcid(), 1031u);
  xml.malformed[kSettings] = "Unexpected end of input.";
  Touch(kSettings);
  auto outcome = selector.Select(translator);
  EXPECT_EQ(outcome.report, LanguageReport::kShow);
  EXPECT_EQ(outcome.lcid, 1031u);
  EXPECT_EQ(translator.lcid(), 1031u);
  EXPECT_NE(outcome.failure.find(kSettings), std::string::npos);
  EXPECT_NE(outcome.failure.find("Unexpected end of input."), std::string::npos);
  EXPECT_NE(outcome.failure.find("nicht gelesen"), std::string::npos) << "in the language in force";
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kLogOnly);

  // Another version of the file that still fails is shown again; so is a ticket without System.
  Touch(kSettings);
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kShow);
  xml.malformed.clear();
  xml.documents[kSettings] = {"System", "", {{"CountryCode", "1041", {}}}};
  Touch(kSettings);
  outcome = selector.Select(translator);
  EXPECT_EQ(outcome.report, LanguageReport::kShow);
  EXPECT_NE(outcome.failure.find("System"), std::string::npos);
  EXPECT_EQ(translator.lcid(), 1031u);

  Ticket(kSettings, "1041");
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kNone);
  EXPECT_EQ(translator.lcid(), 1041u);

  xml.malformed[kSettings] = "Unexpected end of input.";
  Touch(kSettings);
  EXPECT_THROW(SelectInterfaceLanguage({files, xml, shell, "C:\\Durvin\\Control\\"}, translator),
               std::runtime_error);
}

TEST_F(LanguageSelectorTest, TicketIsParsedAgainOnlyWhenItsStampChanges) {
  Ticket(kSettings, "1031");
  EXPECT_EQ(Lcid(), 1031u);
  const int loads = xml.loads;
  xml.documents[kSettings].children[0].children[0].text = "1036";  // same size, same time
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Lcid(), 1031u);
  EXPECT_EQ(xml.loads, loads);

  ++files.writeTimes[kSettings];
  EXPECT_EQ(Lcid(), 1036u);
  xml.documents[kSettings].children[0].children[0].text = "1040";
  files.files[kSettings] += " ";  // size only
  EXPECT_EQ(Lcid(), 1040u);

  // A ticket that goes and comes back with the very same stamp is read afresh.
  const std::string content = files.files[kSettings];
  files.files.erase(kSettings);
  EXPECT_EQ(Lcid(), 1033u);
  xml.documents[kSettings].children[0].children[0].text = "1042";
  files.files[kSettings] = content;
  EXPECT_EQ(Lcid(), 1042u);
  EXPECT_EQ(xml.loads, loads + 3);
}

}  // namespace
}  // namespace dpc
