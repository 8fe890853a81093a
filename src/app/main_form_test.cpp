#include "shell/main_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/controller.h"
#include "fakes/fake_platform.h"

namespace dpc {
namespace {

using enum MenuItem;

constexpr char kExe[] = "C:\\Program Files\\Durvin\\DurvinProofControl.exe";
constexpr char kIni[] = "C:\\Program Files\\Durvin\\DurvinProofControl.ini";
constexpr char kXml[] = "C:\\Program Files\\Durvin\\DurvinProofControl.xml";
constexpr char kLog[] = "C:\\Program Files\\Durvin\\DurvinProofControl.log";
constexpr char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Every observable step lands in one list, in the order it happened.
std::vector<std::string>* gEvents = nullptr;
void Record(const std::string& event) {
  if (gEvents && (gEvents->empty() || gEvents->back() != event)) gEvents->push_back(event);
}

int32_t PanelInit(void*) {
  Record("panel init");
  return 0;
}
int32_t PanelUnInit() {
  Record("panel uninit");
  return 0;
}
int32_t PanelClear() {
  Record("panel clear");
  return 0;
}
int32_t PanelDraw(const char16_t* text, int32_t line, uint8_t highlight, uint8_t style) {
  std::string narrow;
  for (; *text; ++text) narrow += static_cast<char>(*text);
  Record("panel draw " + narrow + " " + std::to_string(line) + " " + std::to_string(highlight) +
         " " + std::to_string(style));
  return 0;
}

class RecordingProcess : public test::FakeProcessInfo {
 public:
  OsResult<uint32_t> QueryIntegrityRid() override {
    Record("integrity");
    return FakeProcessInfo::QueryIntegrityRid();
  }
};
class RecordingProfiles : public test::FakeProfileStore {
 public:
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& fallback) override {
    Record("settings");
    return FakeProfileStore::ReadString(file, section, key, fallback);
  }
};
class RecordingXml : public test::FakeXmlParser {
 public:
  XmlResult<std::unique_ptr<XmlElement>> LoadDocumentElement(const std::string& path) override {
    Record("product");
    return FakeXmlParser::LoadDocumentElement(path);
  }
};
class RecordingFiles : public test::FakeFileSystem {
 public:
  OsStatus RemoveFile(const std::string& path) override {
    Record("delete " + path.substr(path.find_last_of('.')));
    return FakeFileSystem::RemoveFile(path);
  }
};
class RecordingRegistry : public test::FakeRegistry {
 public:
  OsResult<std::unique_ptr<RegistryKey>> OpenMachineKey(const std::string& path,
                                                        KeyAccess access) override {
    Record(path == kRun ? "run key" : "uninstall key");
    return FakeRegistry::OpenMachineKey(path, access);
  }
};

struct Rig {
  RecordingProcess process;
  test::FakeServiceManager services;
  test::FakeClock clock;
  test::FakeWorkerThreads threads;
  test::FakeShell shell;
  RecordingRegistry registry;
  RecordingFiles files;
  RecordingProfiles profiles;
  RecordingXml xml;
  test::FakeLibraryLoader libraries;
  test::FakeDesktop desktop;
  test::FakeHostWindow window;
  test::FakeInstanceGuard guard;
  test::FakeAnsiCodePage codePage;
  test::FakeSettingsDlgFactory dialogs;
  test::FakeInstallerLink installer;
  Platform bundle{process,  services, clock,     threads, shell,    registry, files,
                  profiles, xml,      libraries, desktop, codePage, installer};
  std::vector<std::string> events;

  Rig() {
    gEvents = &events;
    process.exePath = kExe;
    files.AddFolder("C:\\Program Files\\Durvin");  // the controller's own folder
    shell.specialFolders[SpecialFolder::System] = "C:\\Windows\\system32";
    libraries.libraries["libUib32.dll"] = {
        {"UIB_InitLib", reinterpret_cast<void*>(&PanelInit)},
        {"UIB_UnInitLib", reinterpret_cast<void*>(&PanelUnInit)},
        {"UIB_ClearDisplay", reinterpret_cast<void*>(&PanelClear)},
        {"UIB_DrawText", reinterpret_cast<void*>(&PanelDraw)},
    };
  }
  ~Rig() { gEvents = nullptr; }

  void WriteProductInfo() {
    files.AddFile(kXml, "<product/>");
    xml.documents[kXml] = {
        "product",
        "",
        {{"main", "", {{"productguid", "{GUID}", {}}, {"clientname", "Durvin_Proof.exe", {}}}}}};
    registry.keys[std::string(kUninstallKeyPrefix) + "{GUID}"].values["InstallLocation"] =
        "C:\\Client";
    files.AddFile("C:\\Client\\Durvin_Proof.exe", "");
  }
  void InstallServer(uint32_t state) {
    services.Install(kServerServiceName, kServerServiceName, state);
  }
  MenuEntry Entry(const TfrmControl& form, MenuItem item) {
    return form.menu().Entries()[static_cast<size_t>(item) - 1];
  }
  // Opens the menu and chooses the item, as the operator would.
  void Choose(TfrmControl& form, MenuItem item) {
    window.chooseOnPopup = [item](const std::vector<MenuEntry>&) { return static_cast<int>(item); };
    form.OnTrayRightClick();
    window.chooseOnPopup = nullptr;
  }
};

TEST(TfrmControl, CreationRunsItsStepsInOrder) {
  Rig rig;
  rig.files.AddFile(kIni, "");
  rig.files.AddFile(kLog, "old = run\r\n");
  rig.WriteProductInfo();
  rig.process.arguments = {"elevation", "10"};
  rig.registry.keys[kRun];
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  rig.window.events.clear();
  form.FormCreate();

  const std::vector<std::string> expected = {
      "panel init",    "panel clear", "integrity", "settings", "product",
      "uninstall key", "delete .log", "delete .1", "run key",
  };
  EXPECT_EQ(rig.events, expected);
  // The window's own steps interleave with the above: taskbar before the settings, the move
  // off-screen before the log reset.
  const std::vector<std::string> windowSteps = {"interval 1 10", "interval 5 1000",
                                                "interval 7 1000", "taskbar", "offscreen"};
  EXPECT_EQ(rig.window.events, windowSteps);
  EXPECT_TRUE(rig.desktop.messages.empty());
  EXPECT_FALSE(rig.files.Exists(kLog));
  EXPECT_TRUE(form.gate().IsElevated());
  EXPECT_EQ(rig.registry.keys[kRun].values.count("DurvinProofControl"), 1u);  // code 10 ran
  EXPECT_FALSE(rig.Entry(form, N9).visible);
  EXPECT_EQ(rig.Entry(form, Enable1).caption, "Autostart Durvin Proof Control");
  EXPECT_TRUE(rig.window.timers[TimerId::Timer1].enabled);
  EXPECT_TRUE(rig.window.timers[TimerId::Timer5].enabled);
  EXPECT_FALSE(rig.window.timers[TimerId::ServerRestart].enabled);  // restart setting is 0
}

TEST(TfrmControl, ACommandLineTheSystemCannotSplitStartsAnOrdinaryController) {
  Rig rig;
  rig.process.arguments = {"elevation", "10"};
  rig.process.argumentsError = OsError{8, "CommandLineToArgvW", "Not enough memory."};
  rig.registry.keys[kRun];
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  EXPECT_FALSE(form.gate().IsElevated());
  EXPECT_EQ(rig.registry.keys[kRun].values.count("DurvinProofControl"), 0u);  // no action ran
  EXPECT_TRUE(rig.desktop.messages.empty());
}

TEST(TfrmControl, AnExecutableTheSystemCannotNameStopsTheWiringWithItsError) {
  Rig rig;
  rig.process.exePathError = OsError{122, "GetModuleFileNameW", "The data area is too small."};
  try {
    Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
    ADD_FAILURE() << "wired without knowing where its files are";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 122u);
    EXPECT_EQ(error.api(), "GetModuleFileNameW");
  }
}

TEST(TfrmControl, MalformedProductInfoEndsCreationButTimersAndMenuWork) {
  Rig rig;
  rig.files.AddFile(kLog, "old = run\r\n");
  rig.files.AddFile(kXml, "<product");
  rig.xml.malformed[kXml] = "Unexpected end of input.";
  rig.InstallServer(state::kRunning);
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();

  ASSERT_EQ(rig.desktop.messages.size(), 1u);
  EXPECT_EQ(rig.desktop.messages[0].title, "Durvin Proof Control");
  EXPECT_EQ(rig.desktop.messages[0].text, "Unexpected end of input.");
  EXPECT_EQ(std::count(rig.window.events.begin(), rig.window.events.end(), "offscreen"), 0);
  EXPECT_TRUE(rig.files.Exists(kLog));  // the log reset never ran
  EXPECT_TRUE(rig.Entry(form, N9).visible);

  form.OnTimer(TimerId::Timer1);
  EXPECT_EQ(rig.window.trayImage, 2);
  form.OnTrayRightClick();
  ASSERT_EQ(rig.window.shownMenus.size(), 1u);
  EXPECT_TRUE(
      rig.window.shownMenus[0][static_cast<int>(KelvraVistraneTarnServiceStop1) - 1].enabled);
  EXPECT_EQ(rig.desktop.messages.size(), 1u);
}

TEST(TfrmControl, NonIntegerActionCodeIsShownAndTheControllerRunsElevated) {
  Rig rig;
  rig.process.arguments = {"elevation", "stop"};
  rig.InstallServer(state::kRunning);
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  ASSERT_EQ(rig.desktop.messages.size(), 1u);
  EXPECT_EQ(rig.desktop.messages[0].text, "'stop' is not a valid integer value");
  EXPECT_TRUE(form.gate().IsElevated());
  EXPECT_TRUE(rig.threads.pending.empty());
  EXPECT_TRUE(rig.shell.executeEx.empty());
}

TEST(TfrmControl, PrivilegedChoiceWithoutElevationRelaunchesAndCloses) {
  Rig rig;
  rig.InstallServer(state::kRunning);
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  rig.Choose(form, KelvraVistraneTarnServiceStop1);
  ASSERT_EQ(rig.shell.executeEx.size(), 1u);
  EXPECT_EQ(rig.shell.executeEx[0].verb, "runas");
  EXPECT_EQ(rig.shell.executeEx[0].parameters, "elevation 4");
  EXPECT_EQ(rig.guard.releases, 1);
  EXPECT_EQ(rig.window.closes, 1);
  EXPECT_TRUE(rig.threads.pending.empty());
  EXPECT_EQ(rig.Entry(form, KelvraVistraneTarnServiceStop1).image, image::kShield);
}

TEST(TfrmControl, ActivationHidesTheWindowAndShowsTheVersionInTheHint) {
  struct Case {
    bool iniExists;
    const char* version;
    const char* hint;
  };
  for (const auto& c :
       {Case{false, nullptr, "Durvin Proof 5.0"}, Case{true, nullptr, "Durvin Proof 4.0"},
        Case{true, "5.3", "Durvin Proof 5.3"}}) {
    Rig rig;
    if (c.iniExists) rig.files.AddFile(kIni, "");
    if (c.version) rig.profiles.Set(kIni, "Product", "Version", c.version);
    Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
    TfrmControl& form = formRoot.form();
    form.FormCreate();
    rig.window.events.clear();
    form.FormActivate();
    EXPECT_EQ(rig.window.trayHint, c.hint);
    EXPECT_EQ(rig.window.events.front(), "front");
    EXPECT_EQ(rig.window.events.back(), "hide");
  }
}

TEST(TfrmControl, HidePopupMenuKeepsTheMenuClosed) {
  Rig rig;
  rig.files.AddFile(kIni, "");
  rig.profiles.Set(kIni, "Control", "HidePopupMenu", "1");
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  form.OnTrayRightClick();
  EXPECT_TRUE(rig.window.shownMenus.empty());
}

TEST(TfrmControl, AutostartFailureIsShownAndKeepsTheCheckMark) {
  Rig rig;
  rig.process.majorVersion = 10;
  rig.registry.keys[kRun].readOnly = true;
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  rig.Choose(form, Enable1);
  ASSERT_EQ(rig.desktop.messages.size(), 1u);
  EXPECT_EQ(rig.desktop.messages[0].text,
            "Failed to set data for 'DurvinProofControl'\r\nSystem Error.  Code: 5.\r\nAccess "
            "is denied.");
  EXPECT_FALSE(form.menu()[Enable1].checked);  // as the opening found it
}

TEST(TfrmControl, CloseMessageWaitsForBusyWorkersButExitDoesNot) {
  Rig rig;
  rig.process.majorVersion = 10;
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  form.KelvraVistraneTarnServiceStart1Click();
  ASSERT_TRUE(form.commands().WorkerBusy());

  form.OnCloseMessage();
  EXPECT_EQ(rig.window.TimerInterval(TimerId::Operation), 1000u);
  for (int tick = 0; tick < 2; ++tick) {
    form.OnTimer(TimerId::Operation);
    form.OnCloseMessage();  // another WM_CLOSE meanwhile leaves the closing to the first
  }
  EXPECT_EQ(rig.window.closes, 0);
  rig.threads.RunAll();
  form.OnTimer(TimerId::Operation);
  EXPECT_EQ(rig.window.closes, 1);
  EXPECT_FALSE(rig.window.TimerEnabled(TimerId::Operation));

  Rig exitRig;
  exitRig.process.majorVersion = 10;
  Controller exitingRoot(exitRig.bundle, exitRig.window, exitRig.guard, exitRig.dialogs);
  TfrmControl& exiting = exitingRoot.form();
  exiting.FormCreate();
  exiting.KelvraVistraneTarnServiceStop1Click();
  exiting.Exit1Click();
  EXPECT_EQ(exitRig.window.closes, 1);
  EXPECT_TRUE(exiting.commands().WorkerBusy());
}

TEST(TfrmControl, ErrorBoxIsNeverStacked) {
  Rig rig;
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  rig.desktop.onShow = [&] {
    form.ShowFailure("nested failure");
    rig.services.enumError = OsError{5, "EnumServicesStatusA", "Access is denied."};
    form.OnTimer(TimerId::Timer1);  // fails while the box is open
  };
  form.ShowFailure("first failure");
  ASSERT_EQ(rig.desktop.messages.size(), 1u);
  EXPECT_EQ(rig.desktop.messages[0].text, "first failure");

  rig.desktop.onShow = nullptr;
  form.OnTimer(TimerId::Timer1);  // the box is closed again: this failure shows
  ASSERT_EQ(rig.desktop.messages.size(), 2u);
  EXPECT_EQ(rig.desktop.messages[1].text, "System Error.  Code: 5.\r\nAccess is denied.");
}

TEST(TfrmControl, FrontPanelShowsTheClosingTextAfterTheMessageLoop) {
  Rig rig;
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  rig.events.clear();
  form.OnPanelButton(2);
  form.AfterMessageLoop();
  const std::vector<std::string> expected = {"panel draw Kelvra Tarn Control is not running! 0 0 2",
                                             "panel uninit"};
  EXPECT_EQ(rig.events, expected);

  Rig bare;
  bare.libraries.libraries.clear();
  Controller withoutRoot(bare.bundle, bare.window, bare.guard, bare.dialogs);
  TfrmControl& without = withoutRoot.form();
  without.FormCreate();
  without.AfterMessageLoop();
  EXPECT_TRUE(bare.desktop.messages.empty());
}

}  // namespace
}  // namespace dpc

namespace dpc {
namespace {

using enum MenuItem;

// What each privileged row's action leaves behind, so the table test can tell that it ran.
bool Acted(Rig& rig, MenuItem item) {
  switch (item) {
    case KelvraVistraneTarnOnlineUpdate1:
    case KelvraProfilesTarnOnlineUpdate1:
      return rig.shell.winExec.size() == 1;
    case KelvraVistraneTarnOfflineUpdate2:
      return rig.desktop.openDialogs.size() == 1;
    case KelvraVistraneTarnServiceStop1:
    case KelvraVistraneTarnServerRestart1:
      // The restart's first step is the stop; its start waits for the stopped server.
      if (rig.threads.pending.size() != 1) return false;
      rig.threads.RunAll();
      return rig.services.stopRequests == 1 && rig.services.startRequests == 0;
    case KelvraVistraneTarnServiceStart1:
      // The server runs: a start asks nothing of it, where a stop or a restart would stop it.
      if (rig.threads.pending.size() != 1) return false;
      rig.threads.RunAll();
      return rig.services.stopRequests == 0;
    case KelvraTarnServerConfiguration1:
      return rig.shell.execute.size() == 1 &&
             rig.shell.execute[0].file == "C:\\Windows\\system32\\services.msc";
    case Enable1:
      return rig.registry.keys.at(kRun).values.count("DurvinProofControl") == 1;
    case pmSettings:
      return rig.dialogs.owners.size() == 1;
    default:
      return false;
  }
}

TEST(CommandTable, EveryPrivilegedRowRelaunchesWithItsCodeOrRunsWhenStartedWithIt) {
  // The elevation codes as designed; every other row runs without the gate.
  const struct {
    MenuItem item;
    int code;
  } privileged[] = {
      {KelvraVistraneTarnOnlineUpdate1, 1},
      {KelvraProfilesTarnOnlineUpdate1, 2},
      {KelvraVistraneTarnOfflineUpdate2, 3},
      {KelvraVistraneTarnServiceStop1, 4},
      {KelvraVistraneTarnServiceStart1, 5},
      {KelvraVistraneTarnServerRestart1, 6},
      {KelvraTarnServerConfiguration1, 7},
      {Enable1, 10},
      {pmSettings, 11},
  };
  for (const auto& [item, code] : privileged) {
    const Command& row = CommandOf(item);
    SCOPED_TRACE(row.name);
    {
      Rig rig;  // an unelevated controller on a system with user account control
      rig.registry.keys[kRun];
      rig.InstallServer(state::kStopped);
      Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
      TfrmControl& form = formRoot.form();
      form.FormCreate();
      form.Choose(row);
      ASSERT_EQ(rig.shell.executeEx.size(), 1u);
      EXPECT_EQ(rig.shell.executeEx[0].verb, "runas");
      EXPECT_EQ(rig.shell.executeEx[0].parameters, "elevation " + std::to_string(code));
      EXPECT_EQ(rig.guard.releases, 1);
      EXPECT_EQ(rig.window.closes, 1);
      EXPECT_TRUE(rig.threads.pending.empty() && rig.shell.winExec.empty());
    }
    {
      // Started with "elevation N": the row runs whatever its menu state (the offline update is
      // never in the menu).
      Rig rig;
      rig.registry.keys[kRun];
      rig.InstallServer(state::kRunning);
      rig.desktop.chosenFile = std::nullopt;
      rig.process.arguments = {"elevation", std::to_string(code)};
      Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
      TfrmControl& form = formRoot.form();
      form.FormCreate();
      EXPECT_TRUE(rig.desktop.messages.empty());
      EXPECT_TRUE(rig.shell.executeEx.empty());
      EXPECT_TRUE(Acted(rig, item));
    }
  }
  int gated = 0;
  for (const Command& row : Commands()) gated += row.actionCode != action::kNone;
  EXPECT_EQ(gated, 9);
  for (int code : {0, 8, 9, 12, -1}) EXPECT_EQ(CommandForAction(code), nullptr) << code;
}

TEST(CommandTable, EveryRowMarkedWithAHandlerDispatchesToOne) {
  for (const Command& row : Commands()) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.registry.keys[kRun];
    rig.InstallServer(state::kStopped);
    Controller root(rig.bundle, rig.window, rig.guard, rig.dialogs);
    root.form().FormCreate();
    EXPECT_EQ(root.form().Click(row.item), row.Has(CommandFlag::kHandled));
  }
}

TEST(CommandTable, MenuChoiceOfAHiddenDisabledOrSeparatorRowDoesNothing) {
  const MenuItem unchoosable[] = {
      KelvraVistraneTarnOfflineUpdate2,  // never shown
      MorrowWebProfiler1,                // hidden without WebProfilerEnabled=1
      KelvraVistraneTarnServiceStart1,   // disabled while the server runs
      KelvraTarnClientStart1,            // disabled without product information
      N2,                                // separator
      StartServerasapplication1,
  };
  for (MenuItem item : unchoosable) {
    SCOPED_TRACE(CommandOf(item).name);
    Rig rig;
    rig.process.majorVersion = 10;
    rig.InstallServer(state::kRunning);
    Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
    TfrmControl& form = formRoot.form();
    form.FormCreate();
    rig.Choose(form, item);
    EXPECT_TRUE(rig.shell.executeEx.empty() && rig.shell.execute.empty() &&
                rig.shell.winExec.empty() && rig.desktop.openDialogs.empty());
    EXPECT_TRUE(rig.threads.pending.empty());
    EXPECT_EQ(rig.window.closes, 0);
  }
}

TEST(TfrmControl, OneMenuAtATime) {
  Rig rig;
  rig.InstallServer(state::kRunning);
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  rig.window.chooseOnPopup = [&](const std::vector<MenuEntry>&) {
    form.FormActivate();      // the menu brings the window to the front
    form.OnTrayRightClick();  // a second tray request arrives in the menu's own loop
    return 0;
  };
  form.OnTrayRightClick();
  EXPECT_EQ(rig.window.shownMenus.size(), 1u);

  rig.window.chooseOnPopup = nullptr;
  form.OnTrayRightClick();  // closed again: the next request opens it
  EXPECT_EQ(rig.window.shownMenus.size(), 2u);
}

TEST(TfrmControl, ExitDuringARestartsWaitEndsTheWaitAndStartsNothing) {
  Rig rig;
  rig.process.majorVersion = 10;
  rig.InstallServer(state::kRunning);  // and it stays so: the stop worker never gets to run
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  (void)rig.files.RemoveFile(kLog);
  rig.Choose(form, KelvraVistraneTarnServerRestart1);
  for (int step = 0; step < 4; ++step) form.OnTimer(TimerId::Operation);
  EXPECT_TRUE(rig.window.TimerEnabled(TimerId::Operation)) << "still waiting";
  form.Exit1Click();
  EXPECT_EQ(rig.window.closes, 1);
  EXPECT_FALSE(rig.window.TimerEnabled(TimerId::Operation)) << "the wait ended at once";
  EXPECT_EQ(rig.threads.pending.size(), 1u) << "only the stop worker";
  EXPECT_FALSE(form.state().RestartPending());
  EXPECT_NE(rig.files.Content(kLog).find("ServerRestart = abandoned: the controller is closing"),
            std::string::npos);
}

TEST(TfrmControl, BalloonSaysNothingOfAStopFromTheMenuButTellsOfOneNobodyAskedFor) {
  Rig rig;
  rig.process.majorVersion = 10;
  rig.files.AddFile(kIni, "");
  rig.profiles.Set(kIni, "Control", "Notifications", "1");
  rig.InstallServer(state::kRunning);
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  form.OnTimer(TimerId::Timer1);
  rig.Choose(form, KelvraVistraneTarnServiceStop1);
  rig.threads.RunAll();
  form.OnTimer(TimerId::Timer1);
  EXPECT_TRUE(rig.window.balloons.empty());

  rig.services.SetState(kServerServiceName, state::kRunning);
  form.OnTimer(TimerId::Timer1);
  rig.services.Get(kServerServiceName).status = {state::kStopped, 0, 1066, 3};
  form.OnTimer(TimerId::Timer1);
  EXPECT_EQ(rig.window.balloons.size(), 1u);
  EXPECT_EQ(form.QueryText(TextQuery::Notification, 0),
            "Durvin Proof Server stopped unexpectedly\n"
            "The service ended with service-specific error 3.");
}

}  // namespace
}  // namespace dpc

namespace dpc {
namespace {

TEST(TfrmControl, BrokenLanguageTicketIsShownOnceAndCreationGoesOn) {
  constexpr char kTicket[] = "C:\\Program Files\\Durvin\\Tickets\\SYS_0000.xml";
  Rig rig;
  rig.registry.keys[kRun];
  rig.files.AddFile(kTicket, "<Ticket><System>");
  rig.xml.malformed[kTicket] = "Unexpected end of input.";
  rig.process.arguments = {"elevation", "10"};
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  EXPECT_EQ(rig.registry.keys[kRun].values.count("DurvinProofControl"), 1u) << "code 10 ran";
  EXPECT_EQ(rig.Entry(form, Enable1).caption, "Autostart Durvin Proof Control");
  ASSERT_EQ(rig.desktop.messages.size(), 1u);
  EXPECT_NE(rig.desktop.messages[0].text.find("Unexpected end of input."), std::string::npos);

  form.OnTrayRightClick();  // the same file again: the trace log only
  EXPECT_EQ(rig.desktop.messages.size(), 1u);
  EXPECT_NE(rig.files.Content(kLog).find("Language = "), std::string::npos);
}

}  // namespace
}  // namespace dpc

namespace dpc {
namespace {

// A worker's wake-up, a little later.
void StepOnce(TfrmControl& form) {
  form.OnWake();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The operation's steps, as the window's timer gives them, until it has ended.
void StepUntilDone(Rig& rig, TfrmControl& form) {
  for (int i = 0; i < 5000 && rig.window.TimerEnabled(TimerId::Operation); ++i) {
    form.OnTimer(TimerId::Operation);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Holds a move's first copy, before it starts, until the form has asked for the move's end.
void HoldFirstCopyUntilClosing(Rig& rig, TfrmControl& form, std::atomic<bool>& copying) {
  rig.files.beforeCopy = [&rig, &form, &copying](const std::string&) {
    if (copying.exchange(true)) return;
    for (int i = 0; i < 5000; ++i) {
      const FolderMoves* moves = form.operations().As<FolderMoves>();
      if (moves && moves->closeRequested()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
}

TEST(TfrmControl, MaintenanceDialogHoldsRestartsAndExitDuringAMoveWaitsForTheRowToEnd) {
  constexpr char kTicket[] = "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";
  Rig rig;
  rig.process.majorVersion = 10;
  rig.InstallServer(state::kStopped);
  rig.shell.specialFolders[SpecialFolder::CommonAppData] = "C:\\ProgramData";
  rig.files.AddFile(kTicket, "<Ticket>\r\n<Job type=\"string\">C:\\\\Jobs</Job>\r\n</Ticket>\r\n");
  for (int i = 0; i < 4; ++i) rig.files.AddFile("C:\\Jobs\\" + std::to_string(i) + ".dat", "x");
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  bool restartTaken = true;
  std::atomic<bool> copying = false;
  rig.dialogs.onShow = [&](test::FakeSettingsDlgWindow& window, SettingsDlgEvents& events) {
    form.pmSettingsClick();  // a second opening while one shows does nothing
    // A restart whose stop phase ended: the dialog keeps the tick from starting the server.
    form.KelvraVistraneTarnServerRestart1Click();
    form.OnTimer(TimerId::Operation);  // the wait finds the server stopped
    form.OnTimer(TimerId::Timer1);     // settles the restart's stop command
    form.OnTimer(TimerId::Timer1);     // would start the server, were restarts not held
    restartTaken = !form.state().RestartPending();
    window.texts[2] = "E:\\Jobs";
    HoldFirstCopyUntilClosing(rig, form, copying);
    events.btnOKClick();
    while (!copying) StepOnce(form);
    form.Exit1Click();  // chosen from the menu mid-copy
    EXPECT_EQ(rig.window.closes, 0) << "not in the middle of a move";
    StepUntilDone(rig, form);
    EXPECT_EQ(window.closes, 1) << "the dialog closes once the row is cleaned up";
  };
  form.pmSettingsClick();
  EXPECT_EQ(rig.dialogs.owners.size(), 1u);
  EXPECT_FALSE(restartTaken);
  EXPECT_EQ(rig.window.closes, 1) << "closed once the dialog returned";
  EXPECT_FALSE(rig.files.Exists("E:\\Jobs\\3.dat")) << "the rest of the row was cancelled";
  EXPECT_TRUE(rig.files.Exists("C:\\Jobs\\3.dat"));
}

// Log off, shutdown or an installer's restart manager during a move: "not now", the row is
// cancelled, and the controller closes once it is cleaned up, unless the session goes on. When
// the session ends all the same, the row is cleaned up before the end is answered.
TEST(TfrmControl, TheSessionsEndWaitsForTheMoveUnlessTheSessionGoesOn) {
  enum class Then { kEnds, kGoesOn, kEndsAtOnce };
  for (const Then then : {Then::kEnds, Then::kGoesOn, Then::kEndsAtOnce}) {
    Rig rig;
    rig.InstallServer(state::kStopped);
    rig.shell.specialFolders[SpecialFolder::CommonAppData] = "C:\\ProgramData";
    rig.files.AddFile("C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml",
                      "<Job type=\"string\">C:\\\\Jobs</Job>\r\n");
    for (int i = 0; i < 4; ++i) rig.files.AddFile("C:\\Jobs\\" + std::to_string(i) + ".dat", "x");
    Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
    TfrmControl& form = formRoot.form();
    form.FormCreate();
    std::optional<bool> mayEnd;
    std::atomic<bool> copying = false;
    rig.dialogs.onShow = [&](test::FakeSettingsDlgWindow& window, SettingsDlgEvents& events) {
      EXPECT_TRUE(form.OnQueryEndSession()) << "no move yet";
      window.texts[2] = "E:\\Jobs";
      HoldFirstCopyUntilClosing(rig, form, copying);
      events.btnOKClick();
      while (!copying) StepOnce(form);
      if (then == Then::kEndsAtOnce) {
        form.OnEndSession();
        // Cleaned up and told before it returned.
        EXPECT_FALSE(window.moves.open);
        EXPECT_NE(rig.files.Content(kLog).find("-> E:\\Jobs: cancelled"), std::string::npos);
        return;
      }
      mayEnd = form.OnQueryEndSession();  // each window of ours asks in turn
      if (then == Then::kGoesOn) form.OnEndSessionCancelled();
      StepUntilDone(rig, form);
    };
    form.pmSettingsClick();
    EXPECT_EQ(mayEnd, then == Then::kEndsAtOnce ? std::nullopt : std::optional<bool>(false));
    EXPECT_EQ(rig.window.closes, then == Then::kGoesOn ? 0 : 1) << static_cast<int>(then);
    EXPECT_FALSE(rig.files.Exists("E:\\Jobs\\3.dat")) << "the rest of the row was cancelled";
    EXPECT_TRUE(rig.files.Exists("C:\\Jobs\\3.dat"));
  }
}

TEST(TfrmControl, OnlyAnOrdinaryControllerRegistersForRestart) {
  // An elevated one, or one started for an action, is never brought back.
  for (const auto& [rid, arguments, registrations] :
       {std::tuple(0x2000, std::vector<std::string>{}, 1),
        std::tuple(0x2000, std::vector<std::string>{"elevation", "5"}, 0),
        std::tuple(0x3000, std::vector<std::string>{}, 0)}) {
    Rig rig;
    rig.process.integrityRid = rid;
    rig.process.arguments = arguments;
    Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
    TfrmControl& form = formRoot.form();
    form.FormCreate();
    EXPECT_EQ(rig.installer.restartRegistrations, registrations) << rid << arguments.size();
  }
}

TEST(TfrmControl, InstallersCloseSignalClosesAtTheNextTickAsOnExit) {
  Rig rig;
  rig.InstallServer(state::kRunning);
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  TfrmControl& form = formRoot.form();
  form.FormCreate();
  rig.installer.Create("Global\\Fresh", test::FakeInstallerLink::Account::LocalSystem, "", true);
  rig.installer.published = "Global\\Fresh";
  form.OnTimer(TimerId::Timer1);
  form.OnTimer(TimerId::Timer1);
  EXPECT_EQ(rig.window.closes, 1);
  EXPECT_EQ(rig.services.State(kServerServiceName), state::kRunning) << "the server is left alone";
  EXPECT_NE(rig.files.Content(kLog).find("Installer = close"), std::string::npos);
}

// Whoever made the event: only one the package published, owned by Administrators or
// LocalSystem, asks the controller to close.
TEST(InstallerAsksToClose, OnlyWhenAnAdministratorOrTheSystemMadeThePublishedEvent) {
  using Link = test::FakeInstallerLink;
  using enum Link::Account;
  const struct {
    Link::Account account;
    const char* owner;
    bool published, closes;
  } cases[] = {{LocalSystem, "", true, true},
               {ElevatedAdministrator, Link::kAdministrators, true, true},
               {ElevatedAdministrator, "", false, false},
               {StandardUser, "", true, false},
               {StandardUser, Link::kAdministrators, true, false},
               {FilteredAdministrator, Link::kAdministrators, true, false}};
  for (const auto& c : cases) {
    Link link;
    link.Create("Global\\Fresh", c.account, c.owner, true);
    if (c.published) link.published = "Global\\Fresh";
    EXPECT_EQ(InstallerAsksToClose(link), c.closes) << static_cast<int>(c.account) << c.owner;
  }
}

TEST(TfrmControl, AStandardUsersControllerStartsTheFeedbackToolEveryThirtyDaysFromItsStart) {
  Rig rig;
  rig.files.AddFile(kIni, "");
  rig.files.AddFile("C:\\Program Files\\Durvin\\Kelvra_Feedback.exe", "");
  rig.profiles.readOnly = true;  // beside the program, where only administrators may write
  Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
  formRoot.form().FormCreate();
  // Started on 7 December at noon: a tick in between, then a second before and at each due moment.
  const std::pair<LocalDateTime, size_t> ticks[] = {
      {{2026, 12, 7, 12, 0, 0}, 0}, {{2026, 12, 22, 12, 0, 0}, 0}, {{2027, 1, 6, 11, 59, 59}, 0},
      {{2027, 1, 6, 12, 0, 0}, 1},  {{2027, 2, 5, 11, 59, 59}, 1}, {{2027, 2, 5, 12, 0, 0}, 2}};
  for (const auto& [at, launches] : ticks) {
    rig.clock.Set(at);
    formRoot.form().OnTimer(TimerId::Timer5);
    EXPECT_EQ(rig.shell.executeEx.size(), launches) << at.month << "/" << at.day;
  }
}

// At the scheduled second, a standard user's controller on a system with consent prompts: rights
// on the service restart the server here; without them it asks for an elevated controller and
// says so in the trace log before it closes, whether or not somebody answers the prompt.
TEST(TfrmControl, AScheduledRestartUsesTheRightsTheServiceGrantsOrLogsWhyItRelaunches) {
  const struct {
    bool usersMayRestart, declined, fromMenu, restartsHere;
  } cases[] = {{true, false, false, true},
               {false, false, false, false},
               {false, true, false, false},
               {true, false, true, false}};  // the menu keeps its elevation
  for (const auto& c : cases) {
    SCOPED_TRACE(c.usersMayRestart * 4 + c.declined * 2 + c.fromMenu);
    Rig rig;
    rig.files.AddFile(kIni, "");
    rig.profiles.Set(kIni, "Restart", "ServerRestartEnabled", "1");
    rig.profiles.Set(kIni, "Restart", "Time", "12:00:00");  // the fake clock's moment
    rig.InstallServer(state::kRunning);
    rig.services.callerIsAdministrator = false;
    using enum ServiceRights;
    if (c.usersMayRestart)
      rig.services.Get(kServerServiceName).usersMay = QueryStatus | Start | Stop;
    if (c.declined) rig.shell.executeExResults = {OsError{1223, "ShellExecuteExW", "Canceled."}};
    Controller formRoot(rig.bundle, rig.window, rig.guard, rig.dialogs);
    formRoot.form().FormCreate();
    std::string logAtClose;
    rig.window.onClose = [&] { logAtClose = rig.files.Content(kLog); };
    if (c.fromMenu) rig.Choose(formRoot.form(), KelvraVistraneTarnServerRestart1);
    if (!c.fromMenu) formRoot.form().OnTimer(TimerId::ServerRestart);
    rig.threads.RunAll();
    EXPECT_EQ(rig.services.stopRequests, c.restartsHere ? 1 : 0);
    EXPECT_EQ(rig.window.closes, c.restartsHere ? 0 : 1);
    EXPECT_EQ(rig.shell.executeEx.size(), c.restartsHere ? 0u : c.declined ? 2u : 1u);
    EXPECT_EQ(logAtClose.find("not run here: this user may not start and stop the server "
                              "(OpenServiceW, error 5)") != std::string::npos,
              !c.restartsHere && !c.fromMenu);
  }
}

// A pseudo-language that marks every text it is asked for.
constexpr std::string_view kMarkOpen = "\xE2\x9F\xA6", kMarkClose = "\xE2\x9F\xA7";
class PseudoDictionary : public Dictionary {
 public:
  std::optional<std::string> Lookup(std::string_view english) const override {
    return std::string(kMarkOpen) + std::string(english) + std::string(kMarkClose);
  }
};

// `shown` without its marked parts and the values the test put in itself (paths, the system's
// texts): what is left holds a letter only when some text bypassed the translator.
bool HasUnmarkedText(std::string shown, std::initializer_list<std::string_view> values) {
  for (size_t open, close; (open = shown.find(kMarkOpen)) != std::string::npos &&
                           (close = shown.find(kMarkClose, open)) != std::string::npos;)
    shown.erase(open, close + kMarkClose.size() - open);
  for (std::string_view value : values)
    for (size_t at; (at = shown.find(value)) != std::string::npos;) shown.erase(at, value.size());
  return shown.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") !=
         std::string::npos;
}

// With a pseudo-language that marks every text it translates, whatever reaches a message box, a
// balloon, the hint or a menu is marked but for the values the test put in itself; the trace log
// keeps the system's English.
TEST(TfrmControl, EveryTextTheOperatorReadsPassesThroughTheTranslator) {
  constexpr char kTicket[] = "C:\\Program Files\\Durvin\\Tickets\\SYS_0000.xml";
  constexpr char kAddress[] = "file:///C:/Tools/run.exe";
  Rig rig;
  rig.process.majorVersion = 10;  // privileged items act at once
  rig.files.AddFile(kIni, "");
  rig.files.AddFile(kTicket, "");
  rig.profiles.Set(kIni, "Control", "Notifications", "1");
  rig.profiles.Set(kIni, "Settings", "WebProfilerEnabled", "1");
  rig.profiles.Set(kIni, "Settings", "WebProfilerAddress", kAddress);
  rig.profiles.Set(kIni, "Product", "Version", "5.0");
  rig.xml.documents[kTicket] = {"Ticket", "", {{"System", "", {{"CountryCode", "1031", {}}}}}};
  rig.InstallServer(state::kRunning);
  Controller root(rig.bundle, rig.window, rig.guard, rig.dialogs,
                  [](uint32_t) { return std::make_shared<PseudoDictionary>(); });
  TfrmControl& form = root.form();
  form.FormCreate();
  form.FormActivate();
  form.OnTimer(TimerId::Timer1);

  rig.Choose(form, MorrowWebProfiler1);  // refused address
  rig.Choose(form, Enable1);             // there is no Run key
  rig.services.Get(kServerServiceName).status = {state::kStopped, 0, 1066, 3};
  form.OnTimer(TimerId::Timer1);  // a balloon
  // The ticket loses its System element; then a relaunch that fails both ways.
  rig.xml.documents[kTicket].children.clear();
  ++rig.files.writeTimes[kTicket];
  rig.process.majorVersion = 6;
  rig.shell.executeExResults = {OsError{1223, "ShellExecuteExW", "The operation was canceled."},
                                OsError{5, "ShellExecuteExW", "Access is denied."}};
  rig.Choose(form, KelvraVistraneTarnServiceStart1);

  std::vector<std::string> shown = {rig.window.trayHint};
  for (const auto& menu : rig.window.shownMenus)
    for (const MenuEntry& entry : menu) shown.push_back(entry.caption);
  for (const auto& box : rig.desktop.messages) shown.insert(shown.end(), {box.title, box.text});
  for (const auto& b : rig.window.balloons) shown.insert(shown.end(), {b.title, b.text});
  EXPECT_EQ(rig.desktop.messages.size(), 4u);
  EXPECT_EQ(rig.window.balloons.size(), 1u);
  for (const std::string& text : shown) {
    EXPECT_FALSE(
        HasUnmarkedText(text, {kTicket, kAddress, "5.0", "DurvinProofControl", "Access is denied.",
                               "The system cannot find the file specified."}))
        << text;
  }
  const std::string log = rig.files.Content(kLog);
  EXPECT_EQ(log.find(kMarkOpen), std::string::npos) << log;
  EXPECT_NE(log.find("Language = The server's settings file"), std::string::npos);
}

}  // namespace
}  // namespace dpc
