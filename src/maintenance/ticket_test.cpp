#include "maintenance/ticket.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_system.h"

namespace dpc {
namespace {

TEST(TicketText, ExtractTagValueFollowsTheLiteralTags) {
  const std::string_view open = "<Job type=\"string\">";
  const std::string_view close = "</Job>";
  struct Case {
    const char* name;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"found", "<a><Job type=\"string\">C:\\\\A\\\\B</Job></a>", "C:\\\\A\\\\B"},
      {"opening tag in another case is not found", "<job type=\"string\">C:\\X</job>", "kept"},
      {"closing tag in another case is missing", "<Job type=\"string\">C:\\X</JOB>", ""},
      {"closing tag before the opening tag", "<!-- </Job> --><Job type=\"string\">C:\\X</Job>", ""},
      {"no closing tag", "<Job type=\"string\">C:\\X", ""},
      {"empty value", "<Job type=\"string\"></Job>", ""},
      {"first opening tag wins", "<Job type=\"string\">1</Job><Job type=\"string\">2</Job>", "1"},
  };
  for (const Case& c : cases) {
    std::string value = "kept";
    ExtractTagValue(c.text, open, close, value);
    EXPECT_EQ(value, c.expected) << c.name;
  }
}

TEST(TicketText, BackslashesPairUpLeftToRight) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\\\Data\\\\Jobs", "C:\\Data\\Jobs"},
      {"C:\\Data", "C:\\Data"},
      {"a\\\\\\b", "a\\\\b"},
      {"\\\\\\\\server", "\\\\server"},
  };
  for (const auto& [stored, path] : cases) EXPECT_EQ(UndoubleBackslashes(stored), path) << stored;
  EXPECT_EQ(DoubleBackslashes("C:\\A\\B"), "C:\\\\A\\\\B");
  EXPECT_EQ(UndoubleBackslashes(DoubleBackslashes("\\\\x\\\\\\y\\")), "\\\\x\\\\\\y\\");
}

TEST(TicketText, LinesJoinWithoutTheirEnds) {
  EXPECT_EQ(JoinTicketLines("a\r\nb\nc\rd\r\n\r\ne"), "abc\rde");
}

TEST(TicketText, RewriteChangesOnlyTheMatchedElementsAndEndsLinesWithCrLf) {
  const std::string before =
      "<?xml version=\"1.0\"?>\n"
      "  <JOB type=\"string\">C:\\\\A\\\\B</job>\r\n"
      "<Temp type=\"string\">C:\\\\A\\\\B</Temp>\r\n"
      "\xE9t\xE9\rx\tend";
  const LinesRewrite rewrite = ReplaceInLines(before, "<Job type=\"string\">C:\\\\A\\\\B</Job>",
                                              "<Job type=\"string\">D:\\\\X</Job>");
  EXPECT_EQ(rewrite.replaced, 1);
  EXPECT_EQ(rewrite.bytes,
            "<?xml version=\"1.0\"?>\r\n"
            "  <Job type=\"string\">D:\\\\X</Job>\r\n"
            "<Temp type=\"string\">C:\\\\A\\\\B</Temp>\r\n"
            "\xE9t\xE9\rx\tend\r\n");
  EXPECT_EQ(ReplaceInLines("aXa xa\nA", "a", "b").replaced, 4);
  EXPECT_EQ(ReplaceInLines("", "a", "b").bytes, "");
  EXPECT_EQ(ReplaceInLines("abc\n", "", "x").bytes, "abc\r\n");
}

TEST(TicketText, DeclaredEncodingAndItsCodePage) {
  struct Case {
    const char* text;
    std::optional<uint32_t> codePage;  // nullopt: no encoding declared
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a/>", 1252},
      {"\xEF\xBB\xBF<?xml version='1.0' encoding = 'ISO-8859-2' ?>", 28592},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 65001},
      {"<?xml version=\"1.0\" encoding=\"windows-932\"?>", 0},
      {"<?xml version=\"1.0\" encoding=\"shift_jis\"?>", 0},
      {"<?xml version=\"1.0\"?><a encoding=\"windows-1252\"/>", std::nullopt},
      {"<a/>", std::nullopt},
      {"<?xml version=\"1.0\" myencoding=\"windows-1252\"?>", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto encoding = DeclaredEncoding(c.text);
    ASSERT_EQ(encoding.has_value(), c.codePage.has_value()) << c.text;
    if (encoding) {
      EXPECT_EQ(CodePageOfEncoding(*encoding).value_or(0), *c.codePage) << c.text;
    }
  }
}

class SettingsTicketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell.specialFolders[SpecialFolder::CommonAppData] = "C:\\ProgramData";
    files.AddFolder(kTickets);
  }
  void WriteTicket(const std::string& bytes) { files.AddFile(kTicket, bytes); }

  static constexpr const char* kTickets = "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets";
  static constexpr const char* kTicket =
      "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";
  test::FakeFileSystem files;
  test::FakeShell shell;
  test::FakeAnsiCodePage codePage;
  test::FakeClock clock;
  SettingsTicket ticket{files, shell, codePage, clock};
};

TEST_F(SettingsTicketTest, ReadsTheFoldersUnescapedAndInUtf8) {
  WriteTicket(
      "<Settings>\r\n"
      "<ReferenceProfiles type=\"string\">C:\\\\Ref</ReferenceProfiles>\n"
      "<Job type=\"string\">D:\\\\M\xFC\\\\Jobs</Job>\r\n"
      "<ApplicationFolder type=\"string\">C:\\\\App</ApplicationFolder>\r\n"
      "</Settings>");
  const FolderSettings settings = ticket.ReadFolderSettings();
  EXPECT_TRUE(settings.present);
  EXPECT_EQ(ticket.TicketFolder, kTickets);
  EXPECT_EQ(settings.ReferenceProfiles, "C:\\Ref");
  EXPECT_EQ(settings.Job, "D:\\M\xC3\xBC\\Jobs");
  EXPECT_EQ(settings.Temp, "");
  EXPECT_EQ(settings.ApplicationFolder, "C:\\App");
}

TEST_F(SettingsTicketTest, MissingTicketReadsEmptyAndIsNeverWritten) {
  EXPECT_FALSE(ticket.ReadFolderSettings().present);
  const TicketRewrite rewrite = ticket.ReplaceInTicket("<Job type=\"string\">C:\\A</Job>",
                                                       "<Job type=\"string\">D:\\B</Job>");
  EXPECT_FALSE(rewrite.written);
  EXPECT_TRUE(files.journal.empty());
  EXPECT_FALSE(files.Exists(kTicket));
}

TEST_F(SettingsTicketTest, UnreadableTicketRaisesTheSystemError) {
  WriteTicket("<Job type=\"string\">C:\\\\A</Job>");
  files.readErrors[kTicket] = OsError{32, "CreateFileW", "in use"};
  EXPECT_THROW(ticket.ReadFolderSettings(), SystemError);
}

// A ticket the system cannot look at is not taken for a missing one: reading raises, a rewrite
// reports the error, and its code page reads unknown.
TEST_F(SettingsTicketTest, ATicketThatCannotBeLookedAtIsNoMissingOne) {
  WriteTicket("<Job type=\"string\">C:\\\\A</Job>");
  files.existsErrors[kTicket] = OsError{5, "GetFileAttributesW", "Access is denied."};
  EXPECT_THROW(ticket.ReadFolderSettings(), SystemError);
  const TicketRewrite rewrite = ticket.ReplaceInTicket("<Job type=\"string\">C:\\A</Job>",
                                                       "<Job type=\"string\">D:\\A</Job>");
  EXPECT_FALSE(rewrite.written);
  ASSERT_TRUE(rewrite.error);
  EXPECT_EQ(rewrite.error->code, 5u);
  EXPECT_EQ(ticket.DeclaredCodePage(), 0u);
}

TEST_F(SettingsTicketTest, ProductGuidGetsBracesEvenWithoutTheElement) {
  EXPECT_FALSE(ticket.ReadProductGuid("C:\\App").exists);
  EXPECT_FALSE(ticket.ReadProductGuid("").exists);
  files.AddFile("C:\\App\\ProfileUpdater.xml",
                "<x>\r\n<productguid type=\"string\">12AB-34</productguid>\r\n</x>");
  EXPECT_EQ(ticket.ReadProductGuid("C:\\App").ProductGuid, "{12AB-34}");
  files.AddFile("C:\\App\\ProfileUpdater.xml", "<x/>");
  const ProductGuidResult empty = ticket.ReadProductGuid("C:\\App");
  EXPECT_TRUE(empty.exists);
  EXPECT_EQ(empty.ProductGuid, "{}");
}

TEST_F(SettingsTicketTest, RewriteGoesThroughTheFlushedScratchFileInOneReplace) {
  WriteTicket("<a>\n<Job type=\"string\">C:\\\\A\\\\B</Job>\n</a>");
  ticket.ReadFolderSettings();
  const TicketRewrite rewrite = ticket.ReplaceInTicket(
      "<Job type=\"string\">C:\\A\\B</Job>", "<Job type=\"string\">D:\\X</Job>",
      ExpectedValue{"<Job type=\"string\">", "</Job>", "D:\\X"});
  EXPECT_TRUE(rewrite.written);
  EXPECT_EQ(rewrite.replaced, 1);
  EXPECT_EQ(files.Content(kTicket), "<a>\r\n<Job type=\"string\">D:\\\\X</Job>\r\n</a>\r\n");
  EXPECT_FALSE(files.Exists(ticket.ScratchPath()));
  EXPECT_EQ(files.journal, (std::vector<std::string>{"create " + ticket.ScratchPath(),
                                                     "replace keeping " + ticket.TicketPath()}));
}

// Whatever stood at the scratch file's name, the file that becomes the ticket is one the
// controller made or the ticket itself with its owner; it keeps its read-only and hidden marks,
// and a swap that fails half way leaves the settings in the scratch file.
TEST_F(SettingsTicketTest, TheScratchFileIsMadeAfreshAndTheTicketKeepsWhatItWas) {
  using file_attribute::kHidden;
  using file_attribute::kReadOnly;
  const std::string before = "<Job type=\"string\">C:\\\\A</Job>\r\n";
  const std::string after = "<Job type=\"string\">D:\\\\A</Job>\r\n";
  const std::string scratch = std::string(kTickets) + "\\SYS_0000.tmp";
  const auto planted = [&](test::FakeFileSystem& f, uint32_t attributes) {
    f.AddFile(scratch, "planted", attributes);
    f.SetOwner(scratch, "user");
  };
  const std::string backup = std::string(kTickets) + "\\SYS_0000.bak";
  const OsError halfWay{1176, "ReplaceFileW", ""}, halfMoved{1177, "ReplaceFileW", ""},
      inUse{32, "DeleteFileW", "in use"}, gone{1784, "MoveFileExW", ""};
  struct Case {
    const char* name;
    std::function<void(test::FakeFileSystem&)> stage;
    uint32_t attributes;            // the ticket's, before and after
    std::optional<uint32_t> error;  // nullopt: written
    std::string ticket, owner, scratchAfter;
    std::string refused = {};  // the left-over that could not be removed
    std::string backupAfter = "<missing>";
  };
  const Case cases[] = {
      {"a read-only left-over, a read-only hidden ticket", [&](auto& f) { planted(f, kReadOnly); },
       kReadOnly | kHidden, std::nullopt, after, "server", "<missing>"},
      {"a read-only ticket", [](auto&) {}, kReadOnly, std::nullopt, after, "server", "<missing>"},
      {"the ticket's folder is a link to another place",
       [&](auto& f) {
         (void)f.SwapForLink(kTickets, "D:\\Elsewhere");
         f.AddFile("D:\\Elsewhere\\SYS_0000.xml", before);
         f.SetOwner("D:\\Elsewhere\\SYS_0000.xml", "server");
       },
       0, 4395, before, "server", "<missing>"},
      {"a left-over held open", [&](auto& f) { planted(f, 0), f.removeErrors[scratch] = inUse; }, 0,
       32, before, "server", "planted", scratch},
      {"a left-over backup held open",
       [&](auto& f) { f.AddFile(backup, "planted"), f.removeErrors[backup] = inUse; }, 0, 32,
       before, "server", "<missing>", backup, "planted"},
      {"ReplaceFileW fails half way: the plain replace",
       [&](auto& f) { f.keepingReplaceErrors = {halfWay}; }, kHidden, std::nullopt, after,
       "controller", "<missing>"},
      {"1176 and the plain replace fails: the old ticket stays",
       [&](auto& f) { f.keepingReplaceErrors = {halfWay}, f.replaceErrors = {gone}; }, 0, 1784,
       before, "server", "<missing>"},
      {"1177 and the plain replace fails: the old ticket is put back",
       [&](auto& f) { f.keepingReplaceErrors = {halfMoved}, f.replaceErrors = {gone}; }, 0, 1784,
       before, "server", "<missing>"},
      {"1177 and the old one will not go back: the new one does",
       [&](auto& f) {
         f.keepingReplaceErrors = {halfMoved}, f.replaceErrors = {gone, gone};
       },
       0, std::nullopt, after, "controller", "<missing>"},
      {"nothing goes back: both contents keep a name",
       [&](auto& f) {
         f.keepingReplaceErrors = {halfMoved}, f.replaceErrors = {gone, gone, gone};
       },
       0, 1784, "<missing>", "<missing>", after, "", before},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeFileSystem f;
    f.AddFile(kTicket, before, c.attributes);
    f.SetOwner(kTicket, "server");
    c.stage(f);
    SettingsTicket t{f, shell, codePage, clock};
    t.ReadFolderSettings();
    const TicketRewrite rewrite =
        t.ReplaceInTicket("<Job type=\"string\">C:\\A</Job>", "<Job type=\"string\">D:\\A</Job>");
    EXPECT_EQ(rewrite.error ? std::optional(rewrite.error->code) : std::nullopt, c.error);
    EXPECT_EQ(rewrite.written, !c.error);
    EXPECT_EQ(rewrite.refusedFile, c.refused);
    EXPECT_EQ(rewrite.ticketMissing, c.ticket == "<missing>");
    EXPECT_EQ(f.Content(kTicket), c.ticket);
    EXPECT_EQ(f.Owner(kTicket), c.owner);
    EXPECT_EQ(f.Find(kTicket) ? f.Find(kTicket)->attributes : 0, c.attributes);
    EXPECT_EQ(f.Content(scratch), c.scratchAfter);
    EXPECT_EQ(f.Content(backup), c.backupAfter);
  }
}

TEST_F(SettingsTicketTest, NothingIsWrittenUnlessTheExpectedValueWouldReadBack) {
  const std::string before =
      "<Job type=\"string\">C:\\A</Job>\r\n"  // single backslashes: not the stored form
      "<Print type=\"string\">C:\\\\P</Print>\r\n<Print type=\"string\">C:\\\\P</Print>\r\n"
      "<job type=\"string\">C:\\\\L</job>\r\n";
  WriteTicket(before);
  ticket.ReadFolderSettings();
  struct Case {
    const char* element;
    const char* old;
    int replaced;
  };
  // Job C:\L matches the lower-case element, but the first Job element would still read C:\A.
  const Case cases[] = {{"Job", "C:\\A", 0}, {"Print", "C:\\P", 2}, {"Job", "C:\\L", 1}};
  for (const Case& c : cases) {
    const std::string open = std::string("<") + c.element + " type=\"string\">";
    const std::string close = std::string("</") + c.element + ">";
    const TicketRewrite rewrite = ticket.ReplaceInTicket(
        open + c.old + close, open + "D:\\N" + close, ExpectedValue{open, close, "D:\\N"});
    EXPECT_EQ(rewrite.replaced, c.replaced) << c.element;
    EXPECT_FALSE(rewrite.written) << c.element;
  }
  EXPECT_EQ(files.Content(kTicket), before);
  EXPECT_TRUE(files.journal.empty());
}

TEST_F(SettingsTicketTest, ATicketThatCannotBeReplacedKeepsItsContent) {
  const std::string before = "<Job type=\"string\">C:\\\\A</Job>\r\n";
  const OsError inUse{32, "MoveFileExW", "in use"};
  const OsError gone{1784, "MoveFileExW", ""};
  const int attempts = SettingsTicket::kReplaceAttempts;
  // ReplaceFileW first; where it cannot work at all, the plain replace (MoveFileExW).
  const OsError unsupported{1, "ReplaceFileW", "Incorrect function."};
  const std::deque<OsError> lasting(attempts, inUse), final(attempts, gone);
  struct Case {
    const char* name;
    std::optional<OsError> writeError;
    std::deque<OsError> keepingErrors;
    std::deque<OsError> replaceErrors;
    std::optional<uint32_t> error;  // nullopt: written
    int replaceCalls;               // of the plain replace
  };
  const Case cases[] = {
      {"a sharing violation is retried", std::nullopt, {inUse, inUse}, {}, std::nullopt, 0},
      {"a sharing violation that lasts", std::nullopt, lasting, {}, 32, 0},
      {"any other error is final", std::nullopt, {unsupported}, final, 1784, 1},
      {"the scratch file cannot be written", OsError{112, "WriteFile", "full"}, {}, {}, 112, 0},
  };
  for (const Case& c : cases) {
    WriteTicket(before);
    ticket.ReadFolderSettings();
    files.writeError = c.writeError;
    files.keepingReplaceErrors = c.keepingErrors;
    files.replaceErrors = c.replaceErrors;
    files.replaceCalls = 0;
    const TicketRewrite rewrite = ticket.ReplaceInTicket("<Job type=\"string\">C:\\A</Job>",
                                                         "<Job type=\"string\">D:\\A</Job>");
    EXPECT_EQ(rewrite.written, !c.error) << c.name;
    EXPECT_EQ(rewrite.error ? std::optional(rewrite.error->code) : std::nullopt, c.error) << c.name;
    EXPECT_EQ(files.replaceCalls, c.replaceCalls) << c.name;
    EXPECT_EQ(files.Content(kTicket) == before, c.error.has_value()) << c.name;
    EXPECT_FALSE(files.Exists(ticket.ScratchPath())) << c.name;
  }
  EXPECT_EQ(clock.sleeps(), 2 + attempts - 1);
}

}  // namespace
}  // namespace dpc
