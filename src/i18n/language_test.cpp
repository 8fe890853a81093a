#include "i18n/language.h"

#include <gtest/gtest.h>

#include "fakes/fake_file_system.h"
#include "fakes/fake_system.h"

namespace dpc {
namespace {

const std::string kController = "C:\\Durvin\\Control\\Tickets\\SYS_0000.xml";
const std::string kLegacy = "C:\\ProgramData\\Kelvra\\Kelvra Tarn\\Server\\Tickets\\SYS_0000.xml";
const std::string kSettings = "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";
const char kNoCode[] = "System without CountryCode";

class LanguageSelectorTest : public ::testing::Test {
 protected:
  void SetUp() override { shell.specialFolders[SpecialFolder::CommonAppData] = "C:\\ProgramData"; }
  // A ticket with document element > System > CountryCode, newly written.
  void Ticket(const std::string& path, const char* code) {
    test::FakeXmlNode system{"System", "", {}};
    if (code != std::string_view(kNoCode)) system.children.push_back({"CountryCode", code, {}});
    xml.documents[path] = {"Ticket", "", {system}};
    Touch(path);
  }
  void Touch(const std::string& path) {
    files.AddFile(path, "<Ticket/>");
    ++files.writeTimes[path];
  }
  uint32_t Lcid() { return selector.Select(translator).lcid; }

  test::FakeFileSystem files;
  test::FakeXmlParser xml;
  test::FakeShell shell;
  Translator translator;
  LanguageSelector selector{{files, xml, shell, "C:\\Durvin\\Control\\"}};
};

TEST_F(LanguageSelectorTest, LastExistingTicketNamesTheLanguageElseEnglish) {
  const struct {
    const char *controller, *legacy, *settings;  // nullptr: no such file
    uint32_t lcid;
  } cases[] = {{"1036", nullptr, nullptr, 1036},      {"1036", "1031", "1040", 1040},
               {nullptr, nullptr, nullptr, 1033},     {"1036", "1031", kNoCode, 1033},
               {nullptr, nullptr, " 1041\r\n", 1041}, {"1036", nullptr, "2057", 1033},
               {nullptr, nullptr, "German", 1033},    {"1036", nullptr, "", 1033},
               {nullptr, nullptr, "-1031", 1033},     {nullptr, nullptr, "4294968327", 1033},
               {"1036", "1031", nullptr, 1031}};
  for (const auto& c : cases) {
    std::string row;
    for (auto [path, code] :
         {std::pair{kController, c.controller}, {kLegacy, c.legacy}, {kSettings, c.settings}}) {
      code ? Ticket(path, code) : void(files.RemoveFile(path));
      row += std::string(code ? code : "none") + " | ";
    }
    EXPECT_EQ(Lcid(), c.lcid) << row;
  }
  EXPECT_EQ(translator.Translate("Exit"), "Beenden") << "the dictionary follows the language";
}

TEST_F(LanguageSelectorTest, UnreadableTicketKeepsTheLanguageAndIsShownOncePerVersion) {
  Ticket(kSettings, "1031");
  ASSERT_EQ(Lcid(), 1031u);
  xml.malformed[kSettings] = "Unexpected end of input.";
  Touch(kSettings);
  const LanguageOutcome outcome = selector.Select(translator);
  EXPECT_EQ(outcome.report, LanguageReport::kShow);
  EXPECT_EQ(translator.lcid(), 1031u);
  EXPECT_NE(outcome.failure.find(kSettings + "' konnte nicht gelesen"), std::string::npos);
  EXPECT_NE(outcome.failure.find("Unexpected end of input."), std::string::npos);
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kLogOnly);
  Touch(kSettings);
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kShow) << "a new version";

  xml.malformed.clear();
  xml.documents[kSettings] = {"System", "", {{"CountryCode", "1041", {}}}};  // no System child
  Touch(kSettings);
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kShow);
  EXPECT_EQ(translator.lcid(), 1031u);
  Ticket(kSettings, "1041");
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kNone);
  EXPECT_EQ(translator.lcid(), 1041u);
}

// Each identifier gives its own language, so two swapped rows of the table cannot pass.
TEST_F(LanguageSelectorTest, EveryIdentifierOfTheTableGivesItsOwnLanguage) {
  const struct {
    const char* code;
    const char* exit;
  } cases[] = {
      {"1028", "結束"},    {"1031", "Beenden"}, {"1033", "Exit"},
      {"1036", "Quitter"}, {"1040", "Esci"},    {"1041", "終了"},
      {"1042", "끝내기"},  {"2052", "退出"},    {"3082", "Salir"},
  };
  for (const auto& c : cases) {
    Ticket(kSettings, c.code);
    EXPECT_EQ(Lcid(), static_cast<uint32_t>(std::stoul(c.code)));
    EXPECT_EQ(translator.Translate("Exit"), c.exit) << c.code;
  }
}

TEST_F(LanguageSelectorTest, UnreadableTicketIsPassedOverWhenALaterOneIsReadable) {
  Ticket(kController, "1036");
  Ticket(kSettings, "1031");
  xml.malformed[kController] = "Unexpected end of input.";
  LanguageOutcome outcome = selector.Select(translator);
  EXPECT_EQ(outcome.report, LanguageReport::kNone);
  EXPECT_EQ(outcome.lcid, 1031u);
  ASSERT_EQ(outcome.skipped.size(), 1u);
  EXPECT_TRUE(selector.Select(translator).skipped.empty()) << "once per version";
  ASSERT_TRUE(
      files.RemoveFile(kSettings));  // none readable after it: the language stays, the box shows
  EXPECT_EQ(selector.Select(translator).report, LanguageReport::kShow);
  EXPECT_EQ(translator.lcid(), 1031u);
}

TEST_F(LanguageSelectorTest, TicketIsParsedAgainOnlyWhenItsStampChanges) {
  Ticket(kSettings, "1031");
  EXPECT_EQ(Lcid(), 1031u);
  std::string& code = xml.documents[kSettings].children[0].children[0].text;
  code = "1036";  // the stamp does not show it
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Lcid(), 1031u);
  EXPECT_EQ(xml.loads, 1);
  ++files.writeTimes[kSettings];
  EXPECT_EQ(Lcid(), 1036u);
  code = "1040";
  ASSERT_TRUE(files.AppendAnsiText(kSettings, " "));
  EXPECT_EQ(Lcid(), 1040u);
  // Gone and back with the very same stamp: read afresh.
  const std::string content = files.Content(kSettings);
  ASSERT_TRUE(files.RemoveFile(kSettings));
  EXPECT_EQ(Lcid(), 1033u);
  code = "1042";
  files.AddFile(kSettings, content);
  EXPECT_EQ(Lcid(), 1042u);
}

}  // namespace
}  // namespace dpc
