// The four privileged launchers behind the elevation gate, as the menu handlers combine them.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fakes/fake_system.h"
#include "launchers/launchers.h"
#include "shell/elevation.h"

namespace dpc {
namespace {

constexpr char kFolder[] = "C:\\Program Files\\Durvin\\";

struct GatedLauncher {
  const char* name;
  int code;
  std::function<void(Launchers&)> start;
};

const GatedLauncher kGated[] = {
    {"online updater", action::kOnlineUpdate, [](Launchers& l) { l.StartOnlineUpdater(kFolder); }},
    {"profile updater", action::kProfileUpdate,
     [](Launchers& l) { l.StartProfileUpdater(kFolder); }},
    {"offline update", action::kOfflineUpdate, [](Launchers& l) { l.StartOfflineUpdate(9); }},
    {"services console", action::kServerConfiguration,
     [](Launchers& l) { l.OpenServicesConsole(); }},
};

// One menu choice in a controller whose state is given by the test.
struct Controller {
  test::FakeProcessInfo process;
  test::FakeShell shell;
  test::FakeDesktop desktop;
  test::FakeInstanceGuard guard;
  int closes = 0;
  ElevationGate gate{process, shell, guard, [this] { ++closes; }};
  Translator translator;
  Launchers launchers{shell, desktop, translator};

  ElevationGate::Outcome Choose(const GatedLauncher& launcher) {
    return gate.Pass(launcher.code, [&] { launcher.start(launchers); });
  }
  // Anything the launcher itself would have done: a program start or the file dialog.
  bool LauncherActed() const {
    return !shell.winExec.empty() || !shell.execute.empty() || !desktop.openDialogs.empty();
  }
};

TEST(LauncherGate, UnelevatedOnVersion6RelaunchesWithTheLaunchersCodeInsteadOfStarting) {
  for (const auto& launcher : kGated) {
    SCOPED_TRACE(launcher.name);
    Controller c;
    c.process.majorVersion = 6;
    EXPECT_EQ(c.Choose(launcher), ElevationGate::Outcome::Relaunched);
    ASSERT_EQ(c.shell.executeEx.size(), 1u);
    EXPECT_EQ(c.shell.executeEx[0].verb, "runas");
    EXPECT_EQ(c.shell.executeEx[0].file, c.process.exePath);
    EXPECT_EQ(c.shell.executeEx[0].parameters, "elevation " + std::to_string(launcher.code));
    EXPECT_EQ(c.closes, 1);
    EXPECT_FALSE(c.LauncherActed());
  }
}

TEST(LauncherGate, ElevatedOrOffVersion6StartsAtOnce) {
  struct State {
    uint32_t major;
    bool elevated;
    bool relaunchRequested;
  } states[] = {{6, true, false}, {5, false, false}, {10, false, false}, {10, false, true}};
  for (const auto& launcher : kGated) {
    for (const auto& state : states) {
      SCOPED_TRACE(std::string(launcher.name) + ", version " + std::to_string(state.major) +
                   (state.elevated ? ", elevated" : ""));
      Controller c;
      c.process.majorVersion = state.major;
      c.gate.IsElevated = state.elevated;
      c.gate.RelaunchRequested = state.relaunchRequested;
      EXPECT_EQ(c.Choose(launcher), ElevationGate::Outcome::Acted);
      EXPECT_TRUE(c.LauncherActed());
      EXPECT_TRUE(c.shell.executeEx.empty());
      EXPECT_EQ(c.closes, 0);
    }
  }
}

TEST(LauncherGate, SecondChoiceAfterARequestedRelaunchDoesNothing) {
  for (const auto& launcher : kGated) {
    SCOPED_TRACE(launcher.name);
    Controller c;
    c.process.majorVersion = 6;
    c.Choose(launcher);
    c.shell.executeEx.clear();
    EXPECT_EQ(c.Choose(launcher), ElevationGate::Outcome::Ignored);
    EXPECT_TRUE(c.shell.executeEx.empty());
    EXPECT_FALSE(c.LauncherActed());
    EXPECT_EQ(c.closes, 1);
  }
}

}  // namespace
}  // namespace dpc
