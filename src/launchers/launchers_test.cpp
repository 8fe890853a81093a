#include "launchers/launchers.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include "fakes/fake_system.h"
#include "i18n/translate.h"

namespace dpc {
namespace {

class LaunchersTest : public ::testing::Test {
 protected:
  test::FakeShell shell;
  test::FakeDesktop desktop;
  Translator translator;
  Launchers launchers{shell, desktop, translator};
};

TEST_F(LaunchersTest, CommandLinesAreWrittenExactly) {
  struct Case {
    const char* name;
    std::function<void(Launchers&, test::FakeDesktop&)> act;
    std::string commandLine;
    std::string directory;
  } cases[] = {
      {"online updater, folder with a space",
       [](Launchers& l, test::FakeDesktop&) {
         l.StartOnlineUpdater("C:\\Program Files\\Durvin\\");
       },
       "\"C:\\Program Files\\Durvin\\Updater.exe\"", "C:\\Program Files\\Durvin\\"},
      {"profile updater keeps one trailing space",
       [](Launchers& l, test::FakeDesktop&) {
         l.StartProfileUpdater("C:\\Program Files\\Durvin\\");
       },
       "\"C:\\Program Files\\Durvin\\ProfileUpdater.exe\" ", "C:\\Program Files\\Durvin\\"},
      {"offline package with a space is quoted, so no other program runs",
       [](Launchers& l, test::FakeDesktop& d) {
         d.chosenFile = "D:\\Updates\\Offline Update.exe";
         l.StartOfflineUpdate(7);
       },
       "\"D:\\Updates\\Offline Update.exe\"", "D:\\Updates\\"},
      {"client off a UAC platform, quoted",
       [](Launchers& l, test::FakeDesktop&) {
         l.StartClient("C:\\Program Files\\Durvin Client", "Durvin_Proof.exe", false);
       },
       "\"C:\\Program Files\\Durvin Client\\Durvin_Proof.exe\"",
       "C:\\Program Files\\Durvin Client"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeShell fresh;
    test::FakeDesktop dialog;
    Launchers subject(fresh, dialog, translator);
    c.act(subject, dialog);
    ASSERT_EQ(fresh.winExec.size(), 1u);
    EXPECT_EQ(fresh.winExec[0].commandLine, c.commandLine);
    EXPECT_EQ(fresh.winExec[0].show, ShowMode::Show);
    EXPECT_EQ(fresh.winExec[0].directory, c.directory);
    EXPECT_TRUE(fresh.execute.empty());
    EXPECT_TRUE(fresh.executeEx.empty());
    EXPECT_TRUE(dialog.messages.empty());
  }
}

TEST_F(LaunchersTest, OfflineUpdateAsksWithTheTranslatedTitleAndFilterFromDriveC) {
  desktop.chosenFile = "c:\\pkg.exe";
  launchers.StartOfflineUpdate(0x77);
  ASSERT_EQ(desktop.openDialogs.size(), 1u);
  const auto& dialog = desktop.openDialogs[0];
  EXPECT_EQ(dialog.owner, 0x77u);
  EXPECT_EQ(dialog.initialDir, "c:\\");
  EXPECT_EQ(dialog.title, "Start Kelvra Tarn Offline Update");
  EXPECT_EQ(dialog.filter, "Kelvra Tarn Update (*.exe)|*.exe");
}

class German : public Dictionary {
 public:
  std::optional<std::string> Lookup(std::string_view english) const override {
    static const std::map<std::string, std::string, std::less<>> words = {
        {"Start Kelvra Tarn Offline Update", "Kelvra Tarn Offline-Update starten"},
        {"Kelvra Tarn Update (*.exe)|*.exe", "Kelvra Tarn Update-Paket (*.exe)|*.exe"},
    };
    auto it = words.find(english);
    if (it == words.end()) return std::nullopt;
    return it->second;
  }
};

TEST_F(LaunchersTest, OfflineUpdateDialogTextsFollowTheInterfaceLanguage) {
  translator.Select(1031, std::make_shared<German>());
  launchers.StartOfflineUpdate(kNoWindow);
  ASSERT_EQ(desktop.openDialogs.size(), 1u);
  EXPECT_EQ(desktop.openDialogs[0].title, "Kelvra Tarn Offline-Update starten");
  EXPECT_EQ(desktop.openDialogs[0].filter, "Kelvra Tarn Update-Paket (*.exe)|*.exe");
}

TEST_F(LaunchersTest, CancelledOfflineUpdateStartsNothing) {
  desktop.chosenFile = std::nullopt;
  launchers.StartOfflineUpdate(kNoWindow);
  EXPECT_EQ(desktop.openDialogs.size(), 1u);
  EXPECT_TRUE(shell.winExec.empty());
  EXPECT_TRUE(shell.execute.empty());
  EXPECT_TRUE(shell.executeEx.empty());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(LaunchersTest, ShellExecuteLaunchersUseTheirOwnVerbAndShowMode) {
  shell.specialFolders[SpecialFolder::System] = "C:\\Windows\\system32";
  launchers.OpenServicesConsole();
  EXPECT_TRUE(launchers.OpenWebProfiler("http://localhost:8080/profiler"));
  ASSERT_EQ(shell.execute.size(), 2u);

  const auto& console = shell.execute[0];
  EXPECT_EQ(console.owner, kNoWindow);
  EXPECT_EQ(console.verb, "");
  EXPECT_EQ(console.file, "C:\\Windows\\system32\\services.msc");
  EXPECT_EQ(console.parameters, "");
  EXPECT_EQ(console.directory, "C:\\Windows\\system32\\");
  EXPECT_EQ(console.show, ShowMode::Normal);

  const auto& profiler = shell.execute[1];
  EXPECT_EQ(profiler.verb, "open");
  EXPECT_EQ(profiler.file, "http://localhost:8080/profiler");
  EXPECT_EQ(profiler.parameters, "");
  EXPECT_EQ(profiler.directory, "C:\\Windows\\system32\\");
  EXPECT_EQ(profiler.show, ShowMode::Maximized);
  EXPECT_TRUE(shell.winExec.empty());
}

TEST(IsWebAddress, OnlyHttpAndHttpsWithAHostAndNothingThatEndsTheAddress) {
  for (const char* opened : {"http://localhost:8080/", "HTTPS://proof.example/p?x=1&y=%20"})
    EXPECT_TRUE(IsWebAddress(opened)) << opened;
  for (const char* refused :
       {"file:///C:/Windows/System32/calc.exe", "C:\\Tools\\run.exe", "\\\\server\\share\\run.exe",
        "javascript:alert(1)", "ftp://host/", "http:host", "http:///path",
        "http://host/\" --renderer-cmd-prefix=calc", "http://host/a b", "http://host/\tx"})
    EXPECT_FALSE(IsWebAddress(refused)) << refused;
}

TEST_F(LaunchersTest, ClientOnAUacPlatformGoesThroughShellExecuteEx) {
  launchers.StartClient("C:\\Program Files\\Durvin Client", "Durvin_Proof.exe", true);
  ASSERT_EQ(shell.executeEx.size(), 1u);
  const auto& request = shell.executeEx[0];
  EXPECT_EQ(request.flags, ExecuteFlags::WaitForDde | ExecuteFlags::NoErrorUi);
  EXPECT_EQ(request.owner, kNoWindow);
  EXPECT_EQ(request.verb, "");
  EXPECT_EQ(request.file, "C:\\Program Files\\Durvin Client\\Durvin_Proof.exe");
  EXPECT_EQ(request.parameters, "");
  EXPECT_EQ(request.directory, "C:\\Program Files\\Durvin Client");
  EXPECT_EQ(request.show, ShowMode::Normal);
  EXPECT_TRUE(shell.winExec.empty());
}

TEST_F(LaunchersTest, FailingClientStartIsSwallowed) {
  shell.executeExResults = {OsError{2, "ShellExecuteExW", "The system cannot find the file."}};
  EXPECT_NO_THROW(launchers.StartClient("C:\\Gone", "Durvin_Proof.exe", true));
  EXPECT_EQ(shell.executeEx.size(), 1u);
  EXPECT_TRUE(shell.winExec.empty());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(LaunchersTest, AFailingOfflineUpdateDialogIsRaisedAndStartsNothing) {
  desktop.dialogError = OsError{0x3003, "GetOpenFileNameW", ""};  // FNERR_BUFFERTOOSMALL
  try {
    launchers.StartOfflineUpdate(kNoWindow);
    ADD_FAILURE() << "no error raised";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 0x3003u);
  }
  EXPECT_TRUE(shell.winExec.empty());
}

}  // namespace
}  // namespace dpc
