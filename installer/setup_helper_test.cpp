#include "setup_helper.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

#include "fakes/fake_file_system.h"
#include "fakes/fake_system.h"
#include "platform/autostart.h"

namespace dpc::setup {
namespace {

// What the helper does with the arguments is proved by the installations under Wine
// (tests/windows/installer_test.cpp); these are the command lines Windows Installer cannot be
// made to pass there.

TEST(SetupHelperCommandLine, TakesQuotedItemsAfterTheProgramAndStep) {
  const Request request = ParseCommandLine(
      "\"C:\\Windows\\Temp\\MSI 1.tmp\" install \"EXE=C:\\P Q\\D.exe\" \"RESTARTTIME=\"  "
      "\"PRODUCTGUID=sub\\\" \"WEBPROFILERADDRESS=http://h/?a=1\"");
  EXPECT_EQ(request.step, Step::kInstall);
  EXPECT_EQ(request.Get("EXE"), "C:\\P Q\\D.exe");
  EXPECT_EQ(request.Get("RESTARTTIME"), "");
  EXPECT_EQ(request.Get("PRODUCTGUID"), "sub\\");  // a trailing backslash escapes nothing
  EXPECT_EQ(request.Get("WEBPROFILERADDRESS"), "http://h/?a=1");
  EXPECT_EQ(ParseCommandLine("C:\\msi.tmp uninstall").step, Step::kUninstall);
}

TEST(SetupHelperCommandLine, RefusesWhatCouldWriteSomethingElse) {
  const char* refused[] = {
      "p.tmp repair \"EXE=x\"",                               // unknown step
      "p.tmp install \"SERVERNAME=x\"",                       // unknown name
      "p.tmp install \"RESTARTDAY=1\" \"RESTARTDAY=2\"",      // given twice
      "p.tmp install \"RESTARTTIME=3\" \"HIDEUPDATER=1\"\"",  // a quote inside a value
      "p.tmp install \"RESTARTTIME=3\"x",                     // text after the closing quote
      "p.tmp install EXE=x",                                  // not quoted
      "p.tmp install \"RESTARTTIME=03:00\r\n[Control]\r\nHidePopupMenu=1\"",  // a new line
      "p.tmp install \"WEBPROFILERADDRESS=C:\\x.exe\"",                       // not a web page
      "p.tmp install \"CLIENTNAME=..\\..\\Windows\\System32\\cmd.exe\"",      // another folder
  };
  for (const char* line : refused) {
    EXPECT_THROW(ParseCommandLine(line), std::invalid_argument) << line;
  }
}

// The package runs the same rule before anything is written (property_check_action.cpp): no
// value the controller reads otherwise, a quote or line break, an address it will not open.
TEST(SetupHelperProperties, EachTakesOnlyWhatTheControllerReadsAsMeant) {
  const char* taken[][2] = {{"HIDEUPDATER", "1"},
                            {"RESTARTDAY", "7"},
                            {"MAINTENANCE", ""},
                            {"WEBPROFILERADDRESS", "HTTPS://proof.example/profiler?x=1"}};
  const char* refused[][2] = {{"HIDEUPDATER", "yes"},
                              {"NOTIFICATIONS", "2"},
                              {"RESTARTDAY", "8"},
                              {"RESTARTTIME", "3 \"AM\""},
                              {"PRODUCTGUID", "{A}\r\n[Control]"},
                              {"WEBPROFILERADDRESS", "http://"},
                              {"WEBPROFILERADDRESS", "http://a b/"},
                              {"WEBPROFILERADDRESS", "http://a/<b>"},
                              {"CLIENTNAME", "C:client.exe"},
                              {"CLIENTNAME", "client.exe."}};
  for (const auto& [property, value] : taken) EXPECT_FALSE(WhyRefused(property, value)) << value;
  for (const auto& [property, value] : refused) EXPECT_TRUE(WhyRefused(property, value)) << value;
  EXPECT_EQ(WhyRefused("HIDEUPDATER", "yes"), "it must be 0 or 1");
}

TEST(SetupHelperBackup, ADamagedBackupIsRefused) {
  const Backup state{std::string("a\nini 3\n\0b", 11), std::nullopt, ""};
  const std::string good = BackupDocument(state);
  EXPECT_EQ(ParseBackup(good), state);
  for (const std::string& text : {std::string(), good.substr(0, good.size() - 1), good + "x"})
    EXPECT_THROW(ParseBackup(text), std::runtime_error) << text;
}

// The helper over fakes: what a failed installation puts back.
struct Machine {
  static constexpr char kExe[] = "C:\\P\\DurvinProofControl.exe";
  test::FakeFileSystem files;
  test::FakeProfileStore profiles;
  test::FakeXmlParser xml;
  test::FakeRegistry registry;
  bool Write(const std::string& path, const std::string& text) {
    if (files.unwritable.count(path)) return false;
    files.AddFile(path, text);
    return true;
  }
  std::optional<std::string> Read(const std::string& path) {
    return files.FileExists(path).value() ? std::optional(files.Content(path)) : std::nullopt;
  }
  static bool NoOtherVersion() { return false; }
  SetupPlatform platform =
      SetupPlatform(files, profiles, xml, registry, std::bind_front(&Machine::Write, this),
                    std::bind_front(&Machine::Read, this), &NoOtherVersion);
  Machine() { registry.keys[kRunKey]; }
  std::map<std::string, std::string>& run() { return registry.keys[kRunKey].values; }
  Request Step(const char* step, const std::string& items = "") {
    return ParseCommandLine(std::string("h.tmp ") + step + " \"EXE=" + kExe + "\" " + items);
  }
};

TEST(SetupHelperRollback, AFailedInstallationLeavesTheMachineAsItWas) {
  const struct {
    const char* name;
    std::optional<std::string> ini, xml, autostart;
  } before[] = {
      {"first installation", std::nullopt, std::nullopt, std::nullopt},
      {"upgrade", "[Product]\r\nVersion=5.0\r\n", "<product/>", "\"elsewhere.exe\""},
  };
  for (const auto& state : before) {
    Machine m;
    if (state.ini) m.files.AddFile("C:\\P\\DurvinProofControl.ini", *state.ini);
    if (state.xml) m.files.AddFile("C:\\P\\DurvinProofControl.xml", *state.xml);
    if (state.autostart) m.run()["DurvinProofControl"] = *state.autostart;
    const auto files = m.files.FilesBelow("C:");  // every file of the drive
    const auto run = m.run();
    // The product information file cannot be written: the installation stops half way.
    m.files.unwritable.insert("C:\\P\\DurvinProofControl.xml");
    EXPECT_THROW(Install(m.Step("install", "\"VERSION=5.1\" \"AUTOSTART=1\" \"CLIENTNAME=c.exe\""),
                         m.platform),
                 std::runtime_error)
        << state.name;
    m.files.unwritable.clear();
    m.files.AddFile("C:\\P\\DurvinProofControl.ini", "changed");  // as the profile store wrote it
    m.run()["DurvinProofControl"] = "changed";

    Rollback(m.Step("rollback"), m.platform);
    EXPECT_EQ(m.files.FilesBelow("C:"), files) << state.name;
    EXPECT_EQ(m.run(), run) << state.name;
    Rollback(m.Step("rollback"), m.platform);  // nothing left to put back
    EXPECT_EQ(m.files.FilesBelow("C:"), files) << state.name;
  }
}

TEST(SetupHelperRollback, AFailedRemovalPutsOnlyAMissingValueBack) {
  Machine m;
  m.run()["DurvinProofControl"] = "\"another copy.exe\"";
  RestoreAutostart(m.Step("restore-autostart"), m.platform);
  EXPECT_EQ(m.run().at("DurvinProofControl"), "\"another copy.exe\"");
  m.run().clear();
  RestoreAutostart(m.Step("restore-autostart"), m.platform);
  EXPECT_EQ(m.run().at("DurvinProofControl"), AutostartEntryFor(Machine::kExe).data);
}

// The Run key cannot be opened: the failure names the system's reason, not only the key.
TEST(SetupHelperAutostart, AnUnopenableRunKeyReportsTheSystemsCode) {
  const struct {
    const char* step;
    std::function<void(Machine&)> run;
  } steps[] = {
      {"install",
       [](Machine& m) {
         Install(m.Step("install", "\"VERSION=5.1\" \"AUTOSTART=1\""), m.platform);
       }},
      {"restore-autostart",
       [](Machine& m) { RestoreAutostart(m.Step("restore-autostart"), m.platform); }},
  };
  for (const auto& step : steps) {
    Machine m;
    m.registry.keys.erase(kRunKey);
    try {
      step.run(m);
      ADD_FAILURE() << step.step << ": no failure reported";
    } catch (const SystemError& error) {
      EXPECT_EQ(error.code(), 2u) << step.step;
      EXPECT_EQ(error.api(), "RegOpenKeyExW") << step.step;
    }
  }
}

}  // namespace
}  // namespace dpc::setup
