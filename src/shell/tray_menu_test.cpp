#include "shell/tray_menu.h"

#include <gtest/gtest.h>

#include <stdexcept>

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
      {"restart pending shows stopped yet start stays disabled",
       With(Stopped(), [](auto& in) { in.restartPending = true; }), false, false, false, false,
       true, false},
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
  PopupMenu1Popup(menu, MenuInputs{});
  EXPECT_FALSE(menu[KelvraVistraneTarnServiceStart1].enabled);
  EXPECT_TRUE(menu[KelvraVistraneTarnServiceStop1].enabled);

  // The updates are enabled again at every opening.
  PopupMenu1Popup(menu, InTransition());
  EXPECT_FALSE(menu[KelvraVistraneTarnOnlineUpdate1].enabled);
  PopupMenu1Popup(menu, MenuInputs{});
  EXPECT_TRUE(menu[KelvraVistraneTarnOnlineUpdate1].enabled);
  EXPECT_FALSE(menu[KelvraVistraneTarnServiceStart1].enabled);
}

TEST(PopupMenu1Popup, MaintenanceAndWebProfilerVisibilityFollowTheSettingsAndStick) {
  struct Case {
    int32_t pm, web;
    bool pmShown, webShown;
  };
  const Case cases[] = {
      {0, 0, false, false}, {1, 1, true, true}, {2, 2, true, false}, {-1, 0, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pm " << c.pm << " web " << c.web);
    TrayMenu menu;
    PopupMenu1Popup(menu, With(Running(), [&](auto& in) {
                      in.pmSettingsEnabled = c.pm;
                      in.webProfilerEnabled = c.web;
                    }));
    EXPECT_EQ(menu[pmSettings].visible, c.pmShown);
    EXPECT_EQ(menu[N12].visible, c.pmShown);
    EXPECT_EQ(menu[MorrowWebProfiler1].visible, c.webShown);
    EXPECT_EQ(menu[N5].visible, c.webShown);
  }

  TrayMenu menu;
  PopupMenu1Popup(menu, With(Running(), [](auto& in) {
                    in.pmSettingsEnabled = 0;
                    in.webProfilerEnabled = 1;
                  }));
  PopupMenu1Popup(menu, With(Running(), [](auto& in) {
                    in.pmSettingsEnabled = 1;
                    in.webProfilerEnabled = 0;
                  }));
  EXPECT_FALSE(menu[pmSettings].visible);
  EXPECT_TRUE(menu[MorrowWebProfiler1].visible);
}

TEST(PopupMenu1Popup, ShieldMarksTheRelaunchingItemsOnlyWithoutElevation) {
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
    PopupMenu1Popup(menu, With(Running(), [&](auto& in) {
                      in.uacPlatform = c.uac;
                      in.elevated = c.elevated;
                    }));
    for (auto item : shielded) {
      EXPECT_EQ(menu[item].image == image::kShield, c.shield) << DefinitionOf(item).name;
    }
    EXPECT_NE(menu[Enable1].image, image::kShield);
    EXPECT_NE(menu[pmSettings].image, image::kShield);
    if (!c.shield) {
      EXPECT_EQ(menu[KelvraVistraneTarnServiceStop1].image, image::kGrey);
      EXPECT_EQ(menu[KelvraVistraneTarnServiceStart1].image, image::kGreen);
      EXPECT_EQ(menu[KelvraVistraneTarnServerRestart1].image, image::kRed);
    }
  }
}

TEST(PopupMenu1Popup, ReselectsTheLanguageAfterTheShieldAndBeforeEnabling) {
  TrayMenu menu;
  PopupMenu1Popup(menu, InTransition());
  bool called = false;
  PopupMenu1Popup(menu,
                  With(Running(),
                       [](auto& in) {
                         in.uacPlatform = true;
                         in.autostartPresent = true;
                       }),
                  [&] {
                    called = true;
                    EXPECT_EQ(menu[KelvraVistraneTarnServiceStop1].image, image::kShield);
                    EXPECT_FALSE(menu[KelvraVistraneTarnOnlineUpdate1].enabled);
                    EXPECT_FALSE(menu[Enable1].checked);  // not yet recomputed
                  });
  EXPECT_TRUE(called);
  EXPECT_TRUE(menu[KelvraVistraneTarnOnlineUpdate1].enabled);
}

TEST(PopupMenu1Popup, ChecksAutostartExactlyWhenTheValueExists) {
  TrayMenu menu;
  EXPECT_TRUE(menu[Enable1].checked);  // as designed
  PopupMenu1Popup(menu, Running());
  EXPECT_FALSE(menu[Enable1].checked);
  PopupMenu1Popup(menu, With(Running(), [](auto& in) { in.autostartPresent = true; }));
  EXPECT_TRUE(menu[Enable1].checked);
}

TEST(TrayMenu, EntriesFollowTheDesignedOrderWithIdsForItemsOnly) {
  TrayMenu menu;
  const auto entries = menu.Entries();
  ASSERT_EQ(entries.size(), 23u);
  EXPECT_EQ(entries[5].caption, "Stop Durvin Proof Server");
  EXPECT_EQ(entries[5].id, 6);
  EXPECT_EQ(entries[16].caption, "Autostart Durvin Proof Control");
  EXPECT_EQ(entries[22].caption, "Exit");
  EXPECT_TRUE(entries[2].separator);
  EXPECT_EQ(entries[2].id, 0);
  for (int never : {4, 5, 10, 11, 21, 22}) EXPECT_FALSE(entries[never - 1].visible) << never;
  EXPECT_EQ(TrayMenu::ItemForId(23), Exit2);
  EXPECT_EQ(TrayMenu::ItemForId(3), std::nullopt);
  EXPECT_EQ(TrayMenu::ItemForId(0), std::nullopt);
  EXPECT_EQ(TrayMenu::ItemForId(24), std::nullopt);
}

TEST(TrayMenu, HideKeysHideTheirItemsWithTheirSeparators) {
  ControlSettings settings;
  settings.HideUpdater = true;
  settings.HideServerConfiguration = true;
  settings.HideClientStart = true;
  TrayMenu menu;
  menu.ApplyHideSettings(settings);
  for (auto item : {KelvraVistraneTarnOnlineUpdate1, KelvraProfilesTarnOnlineUpdate1, N7,
                    KelvraTarnClientStart1, N1, KelvraTarnServerConfiguration1, N9}) {
    EXPECT_FALSE(menu[item].visible) << DefinitionOf(item).name;
  }
  EXPECT_TRUE(menu[KelvraVistraneTarnServiceStop1].visible);
  EXPECT_TRUE(menu[N2].visible);

  TrayMenu shown;
  shown.ApplyHideSettings(ControlSettings{});
  EXPECT_TRUE(shown[KelvraVistraneTarnOnlineUpdate1].visible);
}

TEST(TrayMenu, ClientWindowTitlesUseBlanksForUnderscores) {
  const auto titles = ClientWindowTitlesFor("Durvin_Proof.exe");
  EXPECT_EQ(titles.plain, "Durvin Proof");
  EXPECT_EQ(titles.withSuffix, "Durvin Proof Client");
  EXPECT_EQ(ClientWindowTitlesFor("bin\\Kelvra_Tarn_Client.exe").plain, "Kelvra Tarn Client");
}

constexpr char kExe[] = "C:\\Program Files\\Durvin\\DurvinProofControl.exe";
constexpr char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST(Autostart, ToggleWritesTheQuotedPathThenRemovesIt) {
  test::FakeRegistry registry;
  registry.keys[kRun].values["Other"] = "x";
  EXPECT_FALSE(IsAutostartPresent(registry, kExe));

  EXPECT_TRUE(ToggleAutostart(registry, kExe));
  EXPECT_EQ(registry.keys[kRun].values["DurvinProofControl"],
            "\"C:\\Program Files\\Durvin\\DurvinProofControl.exe\"");
  EXPECT_TRUE(IsAutostartPresent(registry, kExe));

  EXPECT_FALSE(ToggleAutostart(registry, kExe));
  EXPECT_EQ(registry.keys[kRun].values.count("DurvinProofControl"), 0u);
  EXPECT_EQ(registry.keys[kRun].values.count("Other"), 1u);
  EXPECT_EQ(registry.opens.back(), std::make_pair(std::string(kRun), 0x2001Fu));
}

TEST(Autostart, UnwritableOrMissingKeyIsReportedByValueName) {
  test::FakeRegistry readOnly;
  readOnly.keys[kRun].readOnly = true;
  test::FakeRegistry missing;
  for (auto* registry : {&readOnly, &missing}) {
    try {
      ToggleAutostart(*registry, kExe);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "Failed to set data for 'DurvinProofControl'");
    }
  }
  EXPECT_TRUE(readOnly.keys[kRun].values.empty());
  EXPECT_TRUE(missing.keys.empty());  // never created

  readOnly.keys[kRun].values["DurvinProofControl"] = "\"old\"";
  EXPECT_THROW(ToggleAutostart(readOnly, kExe), std::runtime_error);
  EXPECT_EQ(readOnly.keys[kRun].values.count("DurvinProofControl"), 1u);
}

}  // namespace
}  // namespace dpc
