#include "service/server_notifier.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace dpc {
namespace {

// Runs a script of supervision readings and command reports through a notifier and returns the
// balloons it asked for. Readings are "<state>@<seconds>": R running, S stopped, P stop pending,
// U not installed. Reports apply before the next reading, as the main form feeds them: "stop"
// (a stop, restart or scheduled restart issued), "stopped" / "stopfailed" / "stopskipped" (its
// worker stopped the server / ran out of time / found it not running), "startfailed". Balloons
// read "down@t", "up@t" (stopped unexpectedly, running again), "nostart", "nostop".
// S stops with exit code 1067 (its process ended); C stops cleanly, its balloon "stopped@t".
std::string Balloons(const std::string& script) {
  ServerNotifier notifier;
  std::istringstream steps(script);
  std::string out;
  auto add = [&](const std::optional<Notice>& notice, const std::string& when) {
    if (!notice) return;
    static const char* const kNames[] = {"down", "up", "nostart", "nostop", "stopped"};
    if (!out.empty()) out += ' ';
    out.append(kNames[static_cast<int>(notice->kind)]).append(when);
  };
  for (std::string step; steps >> step;) {
    const size_t at = step.find('@');
    if (at != std::string::npos) {
      ServerSnapshot server;
      server.installed = step[0] != 'U';
      server.status.currentState = step[0] == 'R'   ? state::kRunning
                                   : step[0] == 'S' ? state::kStopped
                                   : step[0] == 'C' ? state::kStopped
                                   : step[0] == 'P' ? state::kStopPending
                                                    : 0;
      server.status.win32ExitCode = step[0] == 'S' ? 1067 : 0;
      add(notifier.OnTick(server, std::stoull(step.substr(at + 1)) * 1000), step.substr(at));
      continue;
    }
    CommandReport report;
    report.kind = step == "stop"          ? CommandReport::Kind::StopRequested
                  : step == "startfailed" ? CommandReport::Kind::StartFailed
                                          : CommandReport::Kind::StopEnded;
    report.acted = step != "stopskipped";
    report.result.reached = step == "stopped";
    add(notifier.OnReport(report), "");
  }
  return out;
}

TEST(ServerNotifier, OneBalloonPerUnexpectedChangeOfSettledStateAndAtMostOneAMinute) {
  const struct {
    const char* rule;
    const char* script;
    const char* balloons;
  } cases[] = {
      // State before, state now, stop expected or not.
      {"running to stopped unexpectedly", "R@0 S@3", "down@3"},
      {"transitions and unknown readings do not settle", "R@0 P@3 U@6 R@9 P@12 S@15", "down@15"},
      {"the first settled reading is no news", "U@0 S@3 R@6 S@69", "down@69"},
      {"a stop issued here is expected", "R@0 stop P@3 stopped S@6", ""},
      {"expected until its worker is done, though a tick still reads running",
       "R@0 stop R@3 P@6 stopped S@9", ""},
      {"a stop asked for before the first reading", "stop R@0 stopped S@3", ""},
      {"running again only after an unexpected stop", "R@0 S@3 R@70", "down@3 up@70"},
      {"a clean stop asked for elsewhere is a plain stop", "R@0 C@3 R@70 S@140",
       "stopped@3 down@140"},
      {"a stop issued here is no news whatever its exit code", "R@0 stop stopped C@3 R@6", ""},
      {"a deferred stop is worded by how it ended", "R@0 S@3 R@10 C@20 R@30 C@40 C@63",
       "down@3 stopped@63"},
      {"a start after an expected stop is no news", "R@0 stop stopped S@3 R@70 S@140", "down@140"},
      {"a stop worker with nothing to do ends the expectation at the next reading",
       "S@0 stop stopskipped S@3 R@6 S@70", "down@70"},
      // Commands that fell short are answered at once.
      {"a stop that ran out of time", "R@0 stop P@3 stopfailed P@93 S@96", "nostop"},
      {"a stop that failed leaves the server unexpected after the next reading",
       "R@0 stop stopfailed R@93 S@96", "nostop down@96"},
      {"a failed start even within the quiet minute", "R@0 S@3 startfailed S@6", "down@3 nostart"},
      // Time since the last balloon.
      {"within the minute it waits for the minute's end", "R@0 S@3 R@62 R@63", "down@3 up@63"},
      {"a flapping server ending as announced gets nothing more",
       "R@0 S@3 R@10 S@20 R@30 S@40 S@63 S@200", "down@3"},
      {"a flapping server ending otherwise gets one balloon", "R@0 S@3 R@10 S@20 R@30 R@63 R@90",
       "down@3 up@63"},
      {"the minute's balloon starts the next minute", "R@0 S@3 R@10 R@63 S@70 S@123",
       "down@3 up@63 down@123"},
      {"a stop asked for during the minute is what the operator knows",
       "R@0 S@3 R@10 stop stopped S@20 S@63", "down@3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Balloons(c.script), c.balloons) << c.rule << ": " << c.script;
  }
}

TEST(ServerNotifier, UnexpectedStopCarriesTheExitCodesOfTheReadingThatShowedIt) {
  ServerNotifier notifier;
  const ServerSnapshot running{true, {state::kRunning, 0, 0, 0}};
  const ServerSnapshot stopped{true, {state::kStopped, 0, 1067, 0}};
  notifier.OnTick(running, 0);
  ASSERT_TRUE(notifier.OnTick(stopped, 1000));
  ASSERT_TRUE(notifier.OnTick(running, 62000));
  // Within the minute: deferred to its end, when the reading no longer holds the codes.
  EXPECT_FALSE(notifier.OnTick({true, {state::kStopped, 0, 1066, 7}}, 63000));
  const auto notice = notifier.OnTick(stopped, 122000);
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->kind, Notice::Kind::StoppedUnexpectedly);
  EXPECT_EQ(notice->detail.last.win32ExitCode, 1066u);
  EXPECT_EQ(notice->detail.last.serviceSpecificExitCode, 7u);
}

}  // namespace
}  // namespace dpc
