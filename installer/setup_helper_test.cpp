#include "setup_helper.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_system.h"
#include "shell/tray_menu.h"

namespace dpc::setup {
namespace {

constexpr char kExe[] = "C:\\Program Files (x86)\\Durvin Proof\\Control\\DurvinProofControl.exe";
constexpr char kIni[] = "C:\\Program Files (x86)\\Durvin Proof\\Control\\DurvinProofControl.ini";
constexpr char kXml[] = "C:\\Program Files (x86)\\Durvin Proof\\Control\\DurvinProofControl.xml";

TEST(SetupHelperCommandLine, TakesQuotedItemsAfterTheProgramAndStep) {
  const Request request = ParseCommandLine(
      "\"C:\\Windows\\Temp\\MSI 1.tmp\" install \"EXE=C:\\P Q\\D.exe\" \"RESTARTTIME=\"  "
      "\"CLIENTNAME=sub\\\" \"WEBPROFILERADDRESS=http://h/?a=1\"");
  EXPECT_EQ(request.step, Step::kInstall);
  EXPECT_EQ(request.Get("EXE"), "C:\\P Q\\D.exe");
  EXPECT_EQ(request.Get("RESTARTTIME"), "");
  EXPECT_EQ(request.Get("CLIENTNAME"), "sub\\");  // a trailing backslash escapes nothing
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
  };
  for (const char* line : refused) {
    EXPECT_THROW(ParseCommandLine(line), std::invalid_argument) << line;
  }
}

struct Machine {
  test::FakeFileSystem files;
  test::FakeProfileStore profiles;
  test::FakeXmlParser xml;
  test::FakeRegistry registry;
  std::map<std::string, std::string> written;
  bool otherVersion = false;
  SetupPlatform platform{files,
                         profiles,
                         xml,
                         registry,
                         [this](const std::string& path, const std::string& text) {
                           written[path] = text;
                           return true;
                         },
                         [this] { return otherVersion; }};

  Machine() { registry.keys[kRunKey]; }
  void Install(std::map<std::string, std::string> values) {
    values.emplace("EXE", kExe);
    values.emplace("VERSION", "5.0");
    setup::Install(Request{Step::kInstall, values}, platform);
  }
  std::string Ini(const char* section, const char* key) {
    return profiles.ReadString(kIni, section, key, "<absent>");
  }
  void PresentXml(const char* guid, const char* client) {
    files.files[kXml] = "";
    xml.documents[kXml] = {
        "product", "", {{"main", "", {{"productguid", guid, {}}, {"clientname", client, {}}}}}};
  }
};

TEST(SetupHelperInstall, WritesTheVersionAndOnlyTheGivenSettings) {
  Machine m;
  m.profiles.Set(kIni, "Control", "HideUpdater", "1");  // an administrator's edit
  m.profiles.Set(kIni, "Product", "Version", "4.9");
  m.Install({{"RESTARTENABLED", "1"}, {"RESTARTTIME", "03:00:00"}, {"MAINTENANCE", ""}});
  EXPECT_EQ(m.Ini("Product", "Version"), "5.0");
  EXPECT_EQ(m.Ini("Restart", "ServerRestartEnabled"), "1");
  EXPECT_EQ(m.Ini("Restart", "Time"), "03:00:00");
  EXPECT_EQ(m.Ini("Restart", "Day"), "<absent>");
  EXPECT_EQ(m.Ini("Settings", "PMSettingsEnabled"), "<absent>");
  EXPECT_EQ(m.Ini("Control", "HideUpdater"), "1");
}

TEST(SetupHelperInstall, ProductInformationKeepsWhatIsNotGiven) {
  struct Case {
    const char* name;
    bool present;
    std::map<std::string, std::string> given;
    const char* expectedGuid;  // nullptr: the file is left as it is
    const char* expectedClient;
  } cases[] = {
      {"first install", false, {}, "", ""},
      {"upgrade without properties", true, {}, nullptr, nullptr},
      {"one given", true, {{"CLIENTNAME", "New_Client.exe"}}, "{OLD}", "New_Client.exe"},
      {"escaped", false, {{"CLIENTNAME", "A&B<C>.exe"}}, "", "A&amp;B&lt;C&gt;.exe"},
  };
  for (const auto& c : cases) {
    Machine m;
    if (c.present) m.PresentXml("{OLD}", "Old.exe");
    m.Install(c.given);
    if (!c.expectedGuid) {
      EXPECT_EQ(m.written.count(kXml), 0u) << c.name;
      continue;
    }
    const std::string& text = m.written[kXml];
    EXPECT_NE(text.find(std::string("<productguid>") + c.expectedGuid + "</productguid>"),
              std::string::npos)
        << c.name << text;
    EXPECT_NE(text.find(std::string("<clientname>") + c.expectedClient + "</clientname>"),
              std::string::npos)
        << c.name << text;
  }
}

TEST(SetupHelperAutostart, KeepsTheControllersOwnValueAndNoOtherCopysValue) {
  const std::string ours = AutostartEntryFor(kExe).data;
  const std::string oursOtherCase =
      "\"c:\\program files (x86)\\durvin proof\\control\\durvinproofcontrol.exe\"";
  const std::string copy = "\"D:\\Tools\\DurvinProofControl.exe\"";
  const std::optional<std::string> none;
  struct Case {
    const char* name;
    std::optional<std::string> before;
    const char* step;  // the AUTOSTART value of an installation, or "uninstall"
    bool otherVersion;
    std::optional<std::string> after;
  } cases[] = {
      {"AUTOSTART=1", none, "1", false, ours},
      {"AUTOSTART=1 over another copy's", copy, "1", false, ours},
      {"AUTOSTART=0", oursOtherCase, "0", false, none},
      {"AUTOSTART=0 and another copy's", copy, "0", false, copy},
      {"repair", none, "", false, none},
      {"uninstall", oursOtherCase, "uninstall", false, none},
      {"an upgrade's older version", ours, "uninstall", true, ours},
  };
  for (const auto& c : cases) {
    Machine m;
    m.otherVersion = c.otherVersion;
    if (c.before) m.registry.keys[kRunKey].values["DurvinProofControl"] = *c.before;
    if (std::string(c.step) == "uninstall") {
      Uninstall(Request{Step::kUninstall, {{"EXE", kExe}}}, m.platform);
    } else {
      m.Install({{"AUTOSTART", c.step}});
    }
    auto& values = m.registry.keys[kRunKey].values;
    const auto it = values.find("DurvinProofControl");
    EXPECT_EQ(it == values.end() ? none : std::optional<std::string>(it->second), c.after)
        << c.name;
  }
}

}  // namespace
}  // namespace dpc::setup
