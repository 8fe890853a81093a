#include "maintenance/path_rules.h"

#include <gtest/gtest.h>

#include "fakes/fake_file_system.h"

namespace dpc {
namespace {

TEST(PathParsing, TidiesLikeWindowsAndRefusesWhatItWouldAlter) {
  struct Case {
    const char* text;
    PathForm form;
    const char* tidied;
  };
  const Case cases[] = {
      {"d:\\Data\\Jobs", PathForm::Drive, "D:\\Data\\Jobs"},
      {" D:/Data//Jobs\\\\ ", PathForm::Drive, "D:\\Data\\Jobs"},
      {"D:\\Data\\.\\x\\..\\Jobs", PathForm::Drive, "D:\\Data\\Jobs"},
      {"D:\\..\\..\\Jobs", PathForm::Drive, "D:\\Jobs"},
      {"D:\\", PathForm::Drive, "D:\\"},
      {"", PathForm::Empty, ""},
      {"   ", PathForm::Empty, ""},
      {"Jobs", PathForm::Relative, ""},
      {"D:Jobs", PathForm::Relative, ""},
      {"D:", PathForm::Relative, ""},
      {"\\Jobs", PathForm::Relative, ""},
      {"1:\\Jobs", PathForm::Relative, ""},
      {"\\\\server\\share\\Jobs", PathForm::Network, ""},
      {"//server/share", PathForm::Network, ""},
      {"\\\\?\\D:\\Jobs", PathForm::BadName, ""},
      {"D:\\Jo*bs", PathForm::BadName, ""},
      {"D:\\Jobs:x", PathForm::BadName, ""},
      {"D:\\Jobs.", PathForm::BadName, ""},
      {"D:\\Jobs \\x", PathForm::BadName, ""},
      {"D:\\con", PathForm::BadName, ""},
      {"D:\\LPT1.txt\\x", PathForm::BadName, ""},
      {"D:\\COM0", PathForm::Drive, "D:\\COM0"},
      {"D:\\a\tb", PathForm::BadName, ""},
  };
  for (const Case& c : cases) {
    const ParsedPath parsed = ParsePath(c.text);
    EXPECT_EQ(parsed.form, c.form) << c.text;
    if (c.form == PathForm::Drive) {
      EXPECT_EQ(parsed.path.ToString(), c.tidied) << c.text;
    }
  }
}

TEST(PathCharacters, BeyondAsciiOnlyWhatTheTicketsEncodingWritesAsTheSameBytes) {
  test::FakeAnsiCodePage codePage;
  struct Case {
    const char* path;
    uint32_t acp;
    uint32_t ticket;
    CharacterVerdict verdict;
  };
  const Case cases[] = {
      {"D:\\Jobs & Co", 1252, 1252, CharacterVerdict::Markup},
      {"D:\\Jobs", 1252, 65001, CharacterVerdict::Fine},
      {"D:\\M\xC3\xBCller", 1252, 1252, CharacterVerdict::Fine},
      {"D:\\M\xC3\xBCller", 1252, 65001, CharacterVerdict::ReadAsAnother},
      {"D:\\Auftr\xC3\xA4ge \xC3\xB1", 1252, 28591, CharacterVerdict::Fine},
      {"D:\\M\xC3\xBCller \xE2\x82\xAC", 1252, 28591, CharacterVerdict::ReadAsAnother},
      {"D:\\M\xC3\xBCller", 1252, 0, CharacterVerdict::ReadAsAnother},
      {"D:\\M\xC3\xBCller", 932, 932, CharacterVerdict::ReadAsAnother},
      {"D:\\\xE6\x9D\xB1", 1252, 1252, CharacterVerdict::NotInCodePage},
      {"D:\\bad\xC3", 1252, 1252, CharacterVerdict::NotInCodePage},
  };
  for (const Case& c : cases) {
    codePage.identifier = c.acp;
    EXPECT_EQ(CheckCharacters(c.path, codePage, c.ticket).verdict, c.verdict) << c.path;
  }
  // The refusal names the first character the server would read as another.
  EXPECT_EQ(CheckCharacters("D:\\M\xC3\xBCller \xE2\x82\xAC", codePage, 28591).character,
            "\xE2\x82\xAC");
}

// The rules against a machine with the job folder C:\Data\Jobs, the temporary files folder
// C:\Data\Temp beside it, and the ticket and application folders.
class PathRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.AddFolder("C:\\Data\\Jobs\\Sub");
    files.AddFolder("C:\\Data\\Temp");
    files.AddFolder("C:\\ProgramData\\Tickets");
    files.AddFolder("C:\\Program Files\\Server");
    files.AddFolder("D:\\Existing");
    files.AddFile("D:\\file.txt", "x");
    files.AddAlias("C:\\DATA~1", "C:\\Data");
    files.AddAlias("D:\\Link", "C:\\Data\\Jobs");
    files.drives['N'] = DriveKind::Network;
    files.drives['R'] = DriveKind::Removable;
    files.drives['S'] = DriveKind::Substituted;
  }
  PathVerdict Check(const std::string& stored, const std::string& typed) {
    return rules.Check({stored,
                        typed,
                        {{"Temporary files:", "C:\\Data\\Temp"},
                         {"Settings ticket folder:", "C:\\ProgramData\\Tickets"},
                         {"Application folder:", "C:\\Program Files\\Server"},
                         {"Output files:", ""}},
                        1252});
  }

  test::FakeFileSystem files;
  test::FakeAnsiCodePage codePage;
  Translator translator;
  PathRules rules{files, codePage, translator};
};

TEST_F(PathRulesTest, RefusesWithAMessageThatSaysWhatIsWrong) {
  struct Case {
    const char* stored;
    const char* typed;
    const char* says;
  };
  const Case cases[] = {
      {"C:\\Data\\Jobs", "", "No new folder is given"},
      {"", "D:\\Jobs", "no current folder"},
      {"C:\\Data\\Jobs", "Jobs", "not a full path"},
      {"C:\\Data\\Jobs", "D:Jobs", "not a full path"},
      {"C:\\Data\\Jobs", "\\\\server\\share", "is a network path"},
      {"C:\\Data\\Jobs", "D:\\a|b", "not a valid folder path"},
      {"C:\\Data\\Jobs", "D:\\A&B", "holds &, < or >"},
      {"C:\\Data\\Jobs", "D:\\\xE6\x9D\xB1", "cannot store on this system"},
      {"C:\\Data\\Jobs", "D:\\", "root of a drive"},
      {"C:\\", "D:\\Jobs", "is the root of a drive"},
      {"\\\\srv\\Jobs", "D:\\Jobs", "not a folder on a local drive"},
      {"C:\\Data\\Jobs", "N:\\Jobs", "Drive N: is a network drive"},
      {"C:\\Data\\Jobs", "Q:\\Jobs", "Drive Q: does not exist"},
      {"C:\\Data\\Jobs", "R:\\Jobs", "removable"},
      {"C:\\Data\\Jobs", "S:\\Jobs", "subst"},
      {"C:\\Data\\Gone", "D:\\Jobs", "cannot be found"},
      {"C:\\Data\\Jobs", "D:\\file.txt", "is a file"},
      {"C:\\Data\\Jobs", "c:\\data\\JOBS", "written another way"},
      {"C:\\Data\\Jobs", "C:\\Data\\Jobs\\", "written another way"},
      {"C:\\Data\\Jobs", "C:\\DATA~1\\Jobs", "written another way"},
      {"C:\\Data\\Jobs", "D:\\Link", "written another way"},
      {"C:\\Data\\Jobs", "C:\\Data\\Jobs\\New", "lies inside the current folder"},
      {"C:\\Data\\Jobs", "D:\\Link\\Sub\\New", "lies inside the current folder"},
      {"C:\\Data\\Jobs", "C:\\Data", "contains the current folder"},
      {"C:\\Data\\Jobs", "C:\\Data\\Temp\\Jobs", "overlaps a folder the server already uses"},
      {"C:\\Data\\Jobs", "C:\\DATA~1\\TEMP", "(Temporary files: \"C:\\Data\\Temp\")"},
      {"C:\\Data\\Jobs", "C:\\ProgramData", "overlaps"},
      {"C:\\Data", "D:\\Data", "also holds a folder the server uses"},
      {"C:\\Data\\Temp", "D:\\Temp", "also holds a folder the server uses"},
  };
  for (const Case& c : cases) {
    const PathVerdict verdict = Check(c.stored, c.typed);
    EXPECT_FALSE(verdict.accepted) << c.typed;
    EXPECT_NE(verdict.message.find(c.says), std::string::npos)
        << c.stored << " -> " << c.typed << ": " << verdict.message;
  }
}

TEST_F(PathRulesTest, AcceptsAFolderApartAndGivesItTidied) {
  struct Case {
    const char* typed;
    const char* newPath;
  };
  const Case cases[] = {
      {"D:\\Server\\Jobs", "D:\\Server\\Jobs"},
      {"d:/Existing/", "D:\\Existing"},
      {"C:\\Data\\Jobs2", "C:\\Data\\Jobs2"},
      {"C:\\Program Files\\Jobs", "C:\\Program Files\\Jobs"},
  };
  for (const Case& c : cases) {
    const PathVerdict verdict = Check("C:\\Data\\Jobs", c.typed);
    EXPECT_TRUE(verdict.accepted) << c.typed << ": " << verdict.message;
    EXPECT_EQ(verdict.newPath, c.newPath);
  }
}

}  // namespace
}  // namespace dpc
