#include "shell/tray_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

using enum MenuItem;

MenuInputs Installed() {
  MenuInputs in;
  in.serviceInstalled = true;
  in.pmSettingsEnabled = 1;
  in.clientAvailable = true;
  return in;
}
MenuInputs Running() {
  auto in = Installed();
  in.serverRunning = true;
  return in;
}
MenuInputs Stopped() {
  auto in = Installed();
  in.serverStopped = true;
  return in;
}
MenuInputs InTransition() {
  auto in = Installed();
  in.serverInTransition = true;
  return in;
}
template <typename Change>
MenuInputs With(MenuInputs in, Change change) {
  change(in);
  return in;
}

TEST(PopupMenu1Popup, EnablesItemsByServerStateAndCommandFlags) {
  struct Case {
    const char* name;
    MenuInputs in;
    bool start, stop, restart, updates, maintenance, client;
  };
  const Case cases[] = {
      {"running", Running(), false, true, true, true, false, true},
      {"stopped", Stopped(), true, false, false, true, true, false},
      {"in transition", InTransition(), false, false, false, false, false, false},
      {"command in progress", With(Running(), [](auto& in) { in.commandInProgress = true; }), false,
       false, false, false, false, true},
      // The server is about to start: its folders must not move now.
      {"restart pending shows stopped yet start and maintenance stay disabled",
       With(Stopped(), [](auto& in) { in.restartPending = true; }), false, false, false, false,
       false, false},
      {"a start in progress while stopped disables maintenance",
       With(Stopped(), [](auto& in) { in.commandInProgress = true; }), false, false, false, false,
       false, false},
      {"maintenance dialog open disables start",
       With(Stopped(), [](auto& in) { in.maintenanceDialogOpen = true; }), false, false, false,
       true, true, false},
      {"client window open", With(Running(), [](auto& in) { in.clientWindowOpen = true; }), false,
       true, true, true, false, false},
      {"client unavailable", With(Running(), [](auto& in) { in.clientAvailable = false; }), false,
       true, true, true, false, false},
      {"state unknown keeps the commands as they were", Installed(), true, true, true, true, false,
       false},
      {"not installed keeps the commands as they were", MenuInputs{}, true, true, true, true, false,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrayMenu menu;
    PopupMenu1Popup(menu, c.in);
    EXPECT_EQ(menu[KelvraVistraneTarnServiceStart1].enabled, c.start);
    EXPECT_EQ(menu[KelvraVistraneTarnServiceStop1].enabled, c.stop);
    EXPECT_EQ(menu[KelvraVistraneTarnServerRestart1].enabled, c.restart);
    for (auto item : {KelvraVistraneTarnOnlineUpdate1, KelvraProfilesTarnOnlineUpdate1,
                      KelvraVistraneTarnOfflineUpdate2}) {
      EXPECT_EQ(menu[item].enabled, c.updates);
    }
    EXPECT_EQ(menu[pmSettings].enabled, c.maintenance);
    EXPECT_EQ(menu[KelvraTarnClientStart1].enabled, c.client);
  }
}

TEST(PopupMenu1Popup, UninstalledServiceLeavesTheCommandsAsTheLastOpeningSetThem) {
  TrayMenu menu;
  PopupMenu1Popup(menu, Running());
  PopupMenu1Popup(menu, InTransition());
  PopupMenu1Popup(menu, MenuInputs{});
  EXPECT_FALSE(menu[KelvraVistraneTarnServiceStart1].enabled);
  EXPECT_TRUE(menu[KelvraVistraneTarnOnlineUpdate1].enabled);  // re-enabled at every opening
}

TEST(PopupMenu1Popup, MaintenanceAndWebProfilerVisibilityFollowTheSettingsAndStick) {
  struct Case {
    int32_t pm, web;
    bool pmShown, webShown;
  };
  for (const auto& c :
       {Case{0, 0, false, false}, Case{1, 1, true, true}, Case{2, 2, true, false}}) {
    TrayMenu menu;
    PopupMenu1Popup(menu, With(Running(), [&](auto& in) {
                      in.pmSettingsEnabled = c.pm;
                      in.webProfilerEnabled = c.web;
                    }));
    EXPECT_EQ(menu[pmSettings].visible && menu[N12].visible, c.pmShown) << c.pm;
    EXPECT_EQ(menu[MorrowWebProfiler1].visible && menu[N5].visible, c.webShown) << c.web;
    PopupMenu1Popup(menu, With(Running(), [&](auto& in) {
                      in.pmSettingsEnabled = 1;
                      in.webProfilerEnabled = 0;
                    }));
    EXPECT_EQ(menu[pmSettings].visible, c.pmShown) << c.pm;
    EXPECT_EQ(menu[MorrowWebProfiler1].visible, c.webShown) << c.web;
  }
}

TEST(PopupMenu1Popup, ShieldMarksTheRelaunchingItemsBeforeTheLanguageIsReselected) {
  const MenuItem shielded[] = {KelvraVistraneTarnOnlineUpdate1,  KelvraProfilesTarnOnlineUpdate1,
                               KelvraVistraneTarnOfflineUpdate2, KelvraVistraneTarnServiceStop1,
                               KelvraVistraneTarnServiceStart1,  KelvraVistraneTarnServerRestart1,
                               KelvraTarnServerConfiguration1};
  struct Case {
    bool uac, elevated, shield;
  };
  for (const auto& c :
       {Case{true, false, true}, Case{true, true, false}, Case{false, false, false}}) {
    SCOPED_TRACE(testing::Message() << "uac " << c.uac << " elevated " << c.elevated);
    TrayMenu menu;
    PopupMenu1Popup(menu, InTransition());
    bool reselected = false;
    PopupMenu1Popup(menu,
                    With(Running(),
                         [&](auto& in) {
                           in.uacPlatform = c.uac;
                           in.elevated = c.elevated;
                         }),
                    [&] {
                      reselected = true;
                      EXPECT_EQ(menu[KelvraVistraneTarnServiceStop1].image == image::kShield,
                                c.shield);
                      EXPECT_FALSE(menu[KelvraVistraneTarnOnlineUpdate1].enabled);
                    });
    EXPECT_TRUE(reselected);
    for (auto item : shielded) {
      EXPECT_EQ(menu[item].image == image::kShield, c.shield) << CommandOf(item).name;
    }
    EXPECT_NE(menu[Enable1].image, image::kShield);
    EXPECT_NE(menu[pmSettings].image, image::kShield);
    if (!c.shield) {
      EXPECT_EQ(menu[KelvraVistraneTarnServiceStart1].image, image::kGreen);
    }
  }
}

TEST(TrayMenu, EntriesKeepTheDesignedOrderAndHideKeysHideTheirSeparators) {
  ControlSettings settings;
  settings.HideUpdater = settings.HideServerConfiguration = settings.HideClientStart = true;
  TrayMenu menu;
  menu.ApplyHideSettings(settings);
  const auto entries = menu.Entries();
  ASSERT_EQ(entries.size(), 23u);
  EXPECT_EQ(entries[5].caption, "Stop Durvin Proof Server");
  EXPECT_EQ(entries[5].id, 6);
  EXPECT_EQ(entries[2].id, 0);  // separators choose nothing
  EXPECT_TRUE(entries[16].checked);
  std::vector<int> shown;
  for (const auto& e : entries)
    if (e.visible) shown.push_back(static_cast<int>(&e - entries.data()) + 1);
  EXPECT_EQ(shown, (std::vector<int>{6, 7, 8, 9, 16, 17, 18, 19, 20, 23}));
  EXPECT_EQ(TrayMenu::ItemForId(23), Exit2);
  EXPECT_EQ(TrayMenu::ItemForId(3), std::nullopt);
  EXPECT_EQ(TrayMenu::ItemForId(24), std::nullopt);
}

TEST(TrayMenu, EachHideKeyHidesItsOwnItemsAndNoOthers) {
  const struct {
    const char* key;
    bool ControlSettings::*flag;
    std::vector<MenuItem> hidden;
  } cases[] = {
      {"HideUpdater",
       &ControlSettings::HideUpdater,
       {KelvraVistraneTarnOnlineUpdate1, KelvraProfilesTarnOnlineUpdate1, N7,
        KelvraVistraneTarnOfflineUpdate2, N8}},
      {"HideServerConfiguration",
       &ControlSettings::HideServerConfiguration,
       {KelvraTarnServerConfiguration1, N9}},
      {"HideClientStart", &ControlSettings::HideClientStart, {KelvraTarnClientStart1, N1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    ControlSettings settings;
    settings.*c.flag = true;
    EXPECT_TRUE(settings.Hides(c.key));
    const TrayMenu before;
    TrayMenu menu;
    menu.ApplyHideSettings(settings);
    for (const Command& row : Commands()) {
      const bool hidden = std::find(c.hidden.begin(), c.hidden.end(), row.item) != c.hidden.end();
      EXPECT_EQ(menu[row.item].visible, before[row.item].visible && !hidden) << row.name;
    }
  }
}

TEST(TrayMenu, ClientWindowTitlesUseBlanksForUnderscores) {
  const auto titles = ClientWindowTitlesFor("bin\\Durvin_Proof.exe");
  EXPECT_EQ(titles.plain, "Durvin Proof");
  EXPECT_EQ(titles.withSuffix, "Durvin Proof Client");
}

constexpr char kExe[] = "C:\\Program Files\\Durvin\\DurvinProofControl.exe";
constexpr char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST(Autostart, ToggleWritesTheQuotedPathThenRemovesIt) {
  test::FakeRegistry registry;
  registry.keys[kRun].values["Other"] = "x";
  EXPECT_FALSE(IsAutostartPresent(registry, kExe));

  EXPECT_TRUE(ToggleAutostart(registry, kExe, Translator{}));
  EXPECT_EQ(registry.keys[kRun].values["DurvinProofControl"],
            "\"C:\\Program Files\\Durvin\\DurvinProofControl.exe\"");
  EXPECT_TRUE(IsAutostartPresent(registry, kExe));

  EXPECT_FALSE(ToggleAutostart(registry, kExe, Translator{}));
  EXPECT_EQ(registry.keys[kRun].values.count("DurvinProofControl"), 0u);
  EXPECT_EQ(registry.keys[kRun].values.count("Other"), 1u);
  EXPECT_EQ(registry.opens.back(), std::make_pair(std::string(kRun), KeyAccess::ReadWrite));
}

TEST(Autostart, EveryRefusalIsReportedByValueNameAndTheRegistrysCode) {
  const std::string set = "Failed to set data for 'DurvinProofControl'";
  const std::string denied = "\r\nSystem Error.  Code: 5.\r\nAccess is denied.";
  const std::string noKey =
      "\r\nSystem Error.  Code: 2.\r\nThe system cannot find the file specified.";
  test::FakeRegistry readOnly;
  readOnly.keys[kRun].readOnly = true;
  test::FakeRegistry readOnlyWithValue;
  readOnlyWithValue.keys[kRun].readOnly = true;
  readOnlyWithValue.keys[kRun].values["DurvinProofControl"] = "\"old\"";
  test::FakeRegistry missing;
  const struct {
    test::FakeRegistry* registry;
    std::string message;
  } cases[] = {
      {&readOnly, set + denied},
      {&readOnlyWithValue, "Failed to delete value 'DurvinProofControl'" + denied},
      {&missing, set + noKey},
  };
  for (const auto& c : cases) {
    try {
      ToggleAutostart(*c.registry, kExe, Translator{});
      ADD_FAILURE() << "no error: " << c.message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  EXPECT_TRUE(readOnly.keys[kRun].values.empty());
  EXPECT_EQ(readOnlyWithValue.keys[kRun].values.count("DurvinProofControl"), 1u);
  EXPECT_TRUE(missing.keys.empty());  // never created
}

}  // namespace
}  // namespace dpc
