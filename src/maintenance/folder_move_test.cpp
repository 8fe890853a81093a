#include "maintenance/folder_move.h"
#include "maintenance/folder_moves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_host_window.h"
#include "fakes/fake_move_view.h"
#include "fakes/fake_system.h"

namespace dpc {
namespace {

using file_attribute::kHidden;
using file_attribute::kSystem;

constexpr const char* kTicket = "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";
constexpr const char* kTicketText =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
    "<Settings>\r\n"
    "  <System><CountryCode>1033</CountryCode></System>\r\n"
    "  <ReferenceProfiles type=\"string\">C:\\\\Data\\\\Ref</ReferenceProfiles>\r\n"
    "  <PaperProfiles type=\"string\">C:\\\\Data\\\\Paper</PaperProfiles>\r\n"
    "  <Job type=\"string\">C:\\\\Data\\\\Jobs</Job>\r\n"
    "  <Print type=\"string\">C:\\\\Data\\\\Print</Print>\r\n"
    "  <Temp type=\"string\">C:\\\\Data\\\\Temp</Temp>\r\n"
    "  <ApplicationFolder type=\"string\">C:\\\\Server</ApplicationFolder>\r\n"
    "</Settings>\r\n";
constexpr uint64_t kHuge = 5ull << 30;  // cut to 32 bits: 1 GiB
// The job folder's files and folders each in one cluster of 4 KiB, and the huge file.
constexpr uint64_t kHugeTreeOccupies = kHuge + 4 * 4096 + 3 * 4096;
constexpr const char* kUninstall =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{4D2-GUID}";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

// A machine with the ticket, five data folders on C: and an empty drive E:.
struct World {
  World() {
    shell.specialFolders[SpecialFolder::CommonAppData] = "C:\\ProgramData";
    files.AddFile(kTicket, kTicketText);
    files.AddFile("C:\\Data\\Jobs\\job1.dat", "one");
    files.AddFile("C:\\Data\\Jobs\\hidden.sys", "hs", kHidden | kSystem);
    files.AddFile("C:\\Data\\Jobs\\.cache\\c.bin", "cache");
    files.AddFile("C:\\Data\\Jobs\\Sub\\two.dat", "two");
    for (const char* folder : {"Ref", "Paper", "Print", "Temp"}) {
      files.AddFile(std::string("C:\\Data\\") + folder + "\\f.dat", folder);
    }
    settings = ticket.ReadFolderSettings();
    jobsBefore = files.FilesBelow("C:\\Data\\Jobs");
  }
  MoveRequest Request(int row, const std::string& newText) {
    MoveRequest request{
        kFolderRows[static_cast<size_t>(row - 1)], settings.Folder(row), newText, "{4D2-GUID}", {}};
    for (const FolderRow& other : kFolderRows) {
      if (other.number != row)
        request.others.push_back({other.label, settings.Folder(other.number)});
    }
    return request;
  }
  MoveResult Move(int row, const std::string& newText) {
    MoveFolder move(services, view, Request(row, newText));
    move.Run();
    return move.result();
  }
  // A 5 GiB file in the job folder, to a drive of 4 KiB clusters with that much room.
  void AddHugeFile(uint64_t capacity) {
    files.AddFile("C:\\Data\\Jobs\\huge.bin", "", 0, kHuge);
    files.clusters['E'] = 4096;
    files.capacity['E'] = capacity;
    jobsBefore = files.FilesBelow("C:\\Data\\Jobs");
  }
  bool Recycled() const {
    return std::any_of(files.journal.begin(), files.journal.end(),
                       [](const std::string& entry) { return entry.starts_with("recycle"); });
  }
  std::array<FolderRowState, 5> Rows() const {
    std::array<FolderRowState, 5> rows;
    for (int row = 1; row <= 5; ++row) {
      rows[static_cast<size_t>(row - 1)] = {settings.Folder(row), settings.Folder(row)};
    }
    return rows;
  }

  test::FakeFileSystem files;
  test::FakeAnsiCodePage codePage;
  test::FakeRegistry registry;
  test::FakeClock clock;
  test::FakeShell shell;
  test::FakeMoveView view;
  Translator translator;
  SettingsTicket ticket{files, shell, codePage, clock};
  bool serverStopped = true;
  std::vector<std::string> log;
  MoveServices services{files,
                        codePage,
                        registry,
                        translator,
                        ticket,
                        [this] { return serverStopped; },
                        [this](const std::string& key, const std::string& value) {
                          log.push_back(key + " = " + value);
                        }};
  FolderSettings settings;
  std::map<std::string, std::string> jobsBefore;
};

TEST(MoveFolderTest, CopiesVerifiesRewritesTheTicketThenRecycles) {
  World w;
  MoveFolder move(w.services, w.view, w.Request(3, "E:\\Jobs\\"));
  std::vector<MoveStep> steps;
  while (!move.done()) {
    steps.push_back(move.step());
    move.Advance();
  }
  EXPECT_EQ(steps, (std::vector<MoveStep>{MoveStep::Check, MoveStep::Measure, MoveStep::Copy,
                                          MoveStep::Verify, MoveStep::Secure,
                                          MoveStep::RewriteTicket, MoveStep::Recycle}));
  EXPECT_EQ(move.result().outcome, MoveOutcome::Moved);
  EXPECT_EQ(move.result().storedValue, "E:\\Jobs");
  EXPECT_EQ(move.result().message, "");
  EXPECT_EQ(w.files.FilesBelow("E:\\Jobs"), w.jobsBefore);
  EXPECT_EQ(w.files.Find("E:\\Jobs\\hidden.sys")->attributes, kHidden | kSystem);
  EXPECT_FALSE(w.files.Exists("C:\\Data\\Jobs"));
  EXPECT_EQ(w.files.Content(kTicket), Replaced(kTicketText, "C:\\\\Data\\\\Jobs", "E:\\\\Jobs"));
  const std::vector<std::string> last(w.files.journal.end() - 3, w.files.journal.end());
  EXPECT_EQ(last, (std::vector<std::string>{"create " + w.ticket.ScratchPath(),
                                            "replace keeping " + std::string(kTicket),
                                            "recycle C:\\Data\\Jobs"}));
  EXPECT_EQ(w.view.opened, std::vector<std::string>{"Job folder:"});
  EXPECT_EQ(w.view.fileTotal, 4);
  EXPECT_EQ(w.view.steps, 4);
  EXPECT_EQ(w.view.closes, 1);
  EXPECT_EQ(w.log, std::vector<std::string>{
                       "Server File Maintenance = Job C:\\Data\\Jobs -> E:\\Jobs: moved"});
}

TEST(MoveFolderTest, NothingIsDeletedOrRewrittenUnlessEveryFileArrived) {
  struct Case {
    const char* name;
    std::function<void(World&)> stage;
    MoveOutcome outcome;
    const char* says;
    bool stopsRows = false;
    const char* newText = "E:\\Jobs";
  };
  const Case cases[] = {
      {"disk full during the copy",
       [](World& w) {
         // Exactly the tree with one cluster per folder (three): the check passes.
         w.files.capacity['E'] = 3 + 2 + 5 + 3 + 3;
         w.files.onCopy = [&w](const std::string&) { w.files.AddFile("E:\\other", "xxxx"); };
       },
       MoveOutcome::NotMoved, "Code: 112."},
      {"locked file",
       [](World& w) {
         w.files.copyErrors["C:\\Data\\Jobs\\job1.dat"] = {32, "CopyFileExW", "in use"};
       },
       MoveOutcome::NotMoved, "1 file could not be moved"},
      {"different file already at the new place",
       [](World& w) { w.files.AddFile("E:\\Jobs\\job1.dat", "ONE"); }, MoveOutcome::NotMoved,
       "A different file of the same name"},
      {"unreadable folder",
       [](World& w) {
         w.files.listErrors["C:\\Data\\Jobs\\Sub"] = {5, "FindFirstFileExW", ""};
       },
       MoveOutcome::Refused, "Sub: cannot be read"},
      {"junction", [](World& w) { w.files.AddFolder("C:\\Data\\Jobs\\Loop", 0x400); },
       MoveOutcome::Refused, "Loop: a link to another place"},
      {"path stored with single backslashes",
       [](World& w) {
         w.files.AddFile(kTicket, Replaced(kTicketText, "C:\\\\Data\\\\Jobs", "C:\\Data\\Jobs"));
       },
       MoveOutcome::TicketUnchanged, "exactly once"},
      {"ticket cannot be replaced",
       [](World& w) {
         w.files.keepingReplaceErrors.assign(SettingsTicket::kReplaceAttempts,
                                             OsError{5, "ReplaceFileW", "Access is denied."});
       },
       MoveOutcome::TicketFailed, "Code: 5.\r\nAccess is denied.", true},
      {"the swap fails half way (1176), and so does the plain replace",
       [](World& w) {
         w.files.keepingReplaceErrors = {OsError{1176, "ReplaceFileW", ""}};
         w.files.replaceErrors = {OsError{1784, "MoveFileExW", ""}};
       },
       MoveOutcome::TicketFailed, "the server still uses \"C:\\Data\\Jobs\"", true},
      {"the swap fails half way (1177), and so does the plain replace",
       [](World& w) {
         w.files.keepingReplaceErrors = {OsError{1177, "ReplaceFileW", ""}};
         w.files.replaceErrors = {OsError{1784, "MoveFileExW", ""}};
       },
       MoveOutcome::TicketFailed, "the server still uses \"C:\\Data\\Jobs\"", true},
      {"server started during the copy",
       [](World& w) { w.files.onCopy = [&w](const std::string&) { w.serverStopped = false; }; },
       MoveOutcome::Refused, "started during the move"},
      {"server running", [](World& w) { w.serverStopped = false; }, MoveOutcome::Refused,
       "The server is running"},
      {"not enough space", [](World& w) { w.files.capacity['E'] = 3 + 2 + 5 + 3 + 3 - 1; },
       MoveOutcome::NotEnoughSpace, "Not enough disk space!"},
      {"room for the bytes cut to 32 bits", [](World& w) { w.AddHugeFile(2ull << 30); },
       MoveOutcome::NotEnoughSpace, "Not enough disk space!"},
      {"room for the bytes, not the clusters", [](World& w) { w.AddHugeFile(kHuge + 13); },
       MoveOutcome::NotEnoughSpace, "Not enough disk space!"},
      {"room for the bytes and the folders, not the files' whole clusters",
       [](World& w) { w.AddHugeFile(kHuge + 13 + 3 * 4096); }, MoveOutcome::NotEnoughSpace,
       "Not enough disk space!"},
      {"cancel while measuring", [](World& w) { w.view.cancelInPhase = "Measuring"; },
       MoveOutcome::Cancelled, ""},
      {"cancel while checking", [](World& w) { w.view.cancelInPhase = "Checking"; },
       MoveOutcome::Cancelled, ""},
      {"the new folder is a link into the old one",
       [](World& w) { w.files.AddLink("E:\\Jobs", "C:\\Data\\Jobs\\Sub"); }, MoveOutcome::Refused,
       "E:\\Jobs: a link to another place"},
      {"a junction in the new folder",
       [](World& w) { w.files.AddLink("E:\\Jobs\\Mount", "D:\\Else", 0xA0000003); },
       MoveOutcome::Refused, "Mount: a link to another place"},
      {"a parent of the new folder leads into the old one",
       [](World& w) { w.files.AddLink("E:\\Jobs", "C:\\Data\\Jobs\\Sub"); }, MoveOutcome::Refused,
       "leads into the current folder", false, "E:\\Jobs\\New"},
      {"the original file already at the new place",
       [](World& w) { w.files.AddHardLink("E:\\Jobs\\job1.dat", "C:\\Data\\Jobs\\job1.dat"); },
       MoveOutcome::NotMoved, "the original file itself"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    c.stage(w);
    const std::string ticketBefore = w.files.Content(kTicket);
    const MoveResult result = w.Move(3, c.newText);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
    EXPECT_EQ(result.stopRemainingRows, c.stopsRows);
    EXPECT_EQ(result.storedValue, "C:\\Data\\Jobs");
    EXPECT_EQ(w.files.FilesBelow("C:\\Data\\Jobs"), w.jobsBefore);
    EXPECT_EQ(w.files.Content(kTicket), ticketBefore);
    EXPECT_FALSE(w.Recycled());
    EXPECT_FALSE(w.view.open);
    EXPECT_EQ(w.files.HeldNow(), 0);
  }
}

TEST(MoveFolderTest, MessagesNameFiveProblemsAndCountTheRest) {
  const std::string jobs = "C:\\Data\\Jobs\\";
  const std::function<void(World&, const std::string&)> stages[] = {
      [&](World& w, const std::string& name) {  // files that are not copied
        w.files.AddFile(jobs + name, "x");
        w.files.copyErrors[jobs + name] = {32, "CopyFileExW", "in use"};
      },
      [&](World& w, const std::string& name) {  // folders that cannot be read
        w.files.AddFolder(jobs + name);
        w.files.listErrors[jobs + name] = {5, "FindFirstFileExW", ""};
      },
      [](World& w, const std::string& name) {  // links in the new folder
        w.files.AddLink("E:\\Jobs\\" + name, "D:\\Else", 0xA0000003);
      }};
  const std::vector<std::string> names = {"item1", "item2", "item3", "item4",
                                          "item5", "item6", "item7"};
  for (const auto& stage : stages) {
    World w;
    for (const std::string& name : names) stage(w, name);
    const std::string message = w.Move(3, "E:\\Jobs").message;
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [&](const std::string& n) { return message.find(n) != message.npos; }),
              5)
        << message;
    EXPECT_NE(message.find("\r\nand 2 more"), std::string::npos) << message;
  }
}

TEST(MoveFolderTest, AnIdenticalFileAlreadyThereAndAnExactFitStillMove) {
  World w;
  w.files.AddFile("E:\\Jobs\\job1.dat", "one");
  w.files.capacity['E'] = 3 + 2 + 5 + 3 + 3 + 3;
  EXPECT_EQ(w.Move(3, "E:\\Jobs").outcome, MoveOutcome::Moved);
  World huge;  // exactly the clusters a huge tree occupies
  huge.AddHugeFile(kHugeTreeOccupies);
  EXPECT_EQ(huge.Move(3, "E:\\Jobs").outcome, MoveOutcome::Moved);
  World slash;  // the ticket names the old folder with a closing backslash
  slash.files.AddFile(kTicket, Replaced(kTicketText, "Jobs</Job>", "Jobs\\\\</Job>"));
  slash.settings = slash.ticket.ReadFolderSettings();
  EXPECT_EQ(slash.Move(3, "E:\\Jobs").outcome, MoveOutcome::Moved);
  World dedup;  // deduplicated files are reparse points with data of their own
  dedup.files.AddFile("C:\\Data\\Jobs\\d.dat", "d", file_attribute::kReparsePoint, 0, 0x80000013);
  EXPECT_EQ(dedup.Move(3, "E:\\Jobs").outcome, MoveOutcome::Moved);
}

TEST(MoveFolderTest, CancelAndExitLeaveTheOldFolderAndTheTicket) {
  for (const bool byExit : {false, true}) {
    SCOPED_TRACE(byExit ? "exit" : "cancel");
    World w;
    MoveFolder move(w.services, w.view, w.Request(3, "E:\\Jobs"));
    if (byExit) {
      w.files.onCopy = [&](const std::string&) { move.RequestCancel(); };
    } else {
      w.view.cancelAfterSteps = 2;
    }
    move.Run();
    EXPECT_EQ(move.result().outcome, MoveOutcome::Cancelled);
    EXPECT_EQ(move.result().message, "");
    EXPECT_EQ(w.files.FilesBelow("C:\\Data\\Jobs"), w.jobsBefore);
    EXPECT_EQ(w.files.Content(kTicket), kTicketText);
    EXPECT_EQ(w.files.FilesBelow("E:\\Jobs").size(), byExit ? 1u : 2u);
    EXPECT_FALSE(w.Recycled());
    EXPECT_EQ(w.view.closes, 1);
    EXPECT_FALSE(w.view.blockReason);
  }
}

TEST(MoveFolderTest, TheSessionIsHeldUpWhileTheWindowIsOpenAndALateCancelFinishesTheRow) {
  World w;
  MoveFolder move(w.services, w.view, w.Request(3, "E:\\Jobs"));
  while (move.step() != MoveStep::Copy) move.Advance();
  EXPECT_EQ(w.view.blockReason, "A server folder is being moved. It stops at the next safe point.");
  while (move.step() != MoveStep::Recycle) move.Advance();
  // Cancel and a session's end arrive once the ticket names the new place: stopping now would
  // leave the server with two trees, so the row completes.
  w.view.cancelled = true;
  move.RequestCancel();
  move.Run();
  EXPECT_EQ(move.result().outcome, MoveOutcome::Moved);
  EXPECT_TRUE(w.Recycled());
  EXPECT_FALSE(w.view.blockReason);
}

TEST(MoveFolderTest, MediaProfilesRecordTheInstallLocationOnlyWhereTheKeyExists) {
  struct Case {
    const char* name;
    bool keyExists;
    bool readOnly;
    MoveOutcome outcome;
  };
  const Case cases[] = {
      {"key exists", true, false, MoveOutcome::Moved},
      {"no key", false, false, MoveOutcome::Moved},
      {"key not writable", true, true, MoveOutcome::InstallLocationFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    if (c.keyExists) w.registry.keys[kUninstall].readOnly = c.readOnly;
    const MoveResult result = w.Move(2, "E:\\Paper");
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.storedValue, "E:\\Paper");
    EXPECT_EQ(w.Recycled(), c.outcome == MoveOutcome::Moved);
    if (c.keyExists && !c.readOnly) {
      EXPECT_EQ(w.registry.keys[kUninstall].values["InstallLocation"], "E:\\Paper");
    }
    EXPECT_EQ(w.registry.keys.count(kUninstall), c.keyExists ? 1u : 0u);
    EXPECT_EQ(result.stopRemainingRows, c.outcome != MoveOutcome::Moved);
  }
  World other;
  other.Move(3, "E:\\Jobs");
  EXPECT_TRUE(other.registry.opens.empty());
}

// The old tree stays, and the operator and the trace log learn why, when it did not go to a bin
// that keeps it: never deleted for good.
TEST(MoveFolderTest, ARecycleFailureIsToldAndTheTicketKeepsTheNewPlace) {
  struct Case {
    const char* name;
    std::function<void(test::FakeFileSystem&)> stage;
    const char* says;
    const char* logs;
  };
  const OsError denied{5, "IFileOperation", ""}, refused{1223, "IFileOperation", ""};
  const Case cases[] = {
      {"the shell fails", [&](auto& f) { f.recycleError = denied; },
       "could not be put in the recycle bin", "old folder could not be recycled"},
      {"too large for the bin", [&](auto& f) { f.guardedRecycleError = refused; },
       "the recycle bin cannot take it", "not deleted for good"},
      {"no bin", [](auto& f) { f.guardedRecycle = false, f.binItems.reset(); },
       "this drive has no recycle bin", "not deleted for good"},
      {"a bin that deletes for good", [](auto& f) { f.guardedRecycle = false, f.binKeeps = false; },
       "this drive has no recycle bin", "not deleted for good"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    c.stage(w.files);
    const MoveResult result = w.Move(3, "E:\\Jobs");
    EXPECT_EQ(result.outcome, MoveOutcome::MovedOldFolderKept);
    EXPECT_EQ(result.storedValue, "E:\\Jobs");
    EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("\"C:\\Data\\Jobs\""), std::string::npos);
    EXPECT_EQ(w.ticket.ReadFolderSettings().Job, "E:\\Jobs");
    EXPECT_EQ(w.files.FilesBelow("C:\\Data\\Jobs"), w.jobsBefore);
    EXPECT_NE(w.log.at(0).find(c.logs), std::string::npos) << w.log.at(0);
  }
}

// The new place's folders stay held until the row ends: another program's swap for a link
// fails whenever it comes. The old tree is held only where a walk works; a swap there before the
// copies are checked is found, and the row ends with the old tree and the ticket kept.
TEST(MoveFolderTest, AFolderCannotBeSwappedForALinkBetweenCheckAndUse) {
  struct Case {
    const char* when;  // a phase shown, or "copy" of the top folder's job1.dat
    const char* folder;
    bool refused;
    MoveOutcome outcome;
  };
  const Case cases[] = {
      {"copy", "E:\\Jobs", true, MoveOutcome::Moved},
      {"Checking", "E:\\Jobs\\Sub", true, MoveOutcome::Moved},
      {"Moving", "E:\\Jobs\\Sub", true, MoveOutcome::Moved},
      {"copy", "C:\\Data\\Jobs\\Sub", false, MoveOutcome::NotMoved},
      {"Checking", "C:\\Data\\Jobs\\Sub", false, MoveOutcome::NotMoved},
      // Every file was found at the new place, but the old tree is not what was checked: it
      // stays out of the bin.
      {"Moving", "C:\\Data\\Jobs\\Sub", false, MoveOutcome::MovedOldFolderKept},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.when) + " " + c.folder);
    World w;
    std::optional<uint32_t> swap;
    const auto swapOnce = [&](const std::string& now) {
      if (swap || !now.starts_with(c.when)) return;
      swap = w.files.SwapForLink(c.folder, "D:\\Elsewhere").value_or(OsError{}).code;
    };
    w.files.onCopy = [&](const std::string& from) {
      if (from.ends_with("job1.dat")) swapOnce("copy");
    };
    w.view.onPhase = swapOnce;
    EXPECT_EQ(w.Move(3, "E:\\Jobs").outcome, c.outcome);
    ASSERT_TRUE(swap.has_value());
    EXPECT_EQ(*swap, c.refused ? 32u : 0u);
    EXPECT_EQ(w.ticket.ReadFolderSettings().Job,
              c.outcome == MoveOutcome::NotMoved ? "C:\\Data\\Jobs" : "E:\\Jobs");
    if (c.refused) {
      EXPECT_EQ(w.files.FilesBelow("E:\\Jobs"), w.jobsBefore);
    } else if (c.outcome == MoveOutcome::NotMoved) {
      EXPECT_TRUE(w.files.Exists("C:\\Data\\Jobs\\job1.dat"));
    }
    EXPECT_EQ(w.files.HeldNow(), 0);
  }
}

// What Windows lets another program do while an elevated move runs, and Wine cannot show: each
// row stages it through the fake and checks that the move neither writes nor reads outside its
// trees, deletes nothing of anyone else's, and recycles nothing it did not check.
TEST(MoveFolderTest, WhatOthersDoToTheTreesMeanwhileNeverLeadsTheMoveElsewhere) {
  struct Case {
    const char* name;
    std::function<void(World&)> stage;
    MoveOutcome outcome;
    const char* halfMade = nullptr;
  };
  const auto once = [](std::function<void()> act) {
    return [act, done = std::make_shared<bool>(false)] {
      if (!*done) act(), *done = true;
    };
  };
  const Case cases[] = {
      {"a held, still empty new folder becomes a mount point",
       [&](World& w) {
         // As the copy opens the first file for it.
         w.files.onOpen = [&w, act = once([&w] {
                                 ASSERT_FALSE(w.files.MountOnHeld("E:\\Jobs\\Sub", "C:\\Victim"));
                               })](const std::string& path, OpenAs) {
           if (path.ends_with("Sub\\two.dat")) act();
         };
       },
       MoveOutcome::NotMoved},
      {"an old folder, emptied, becomes a mount point after it was listed",
       [&](World& w) {
         w.files.onCopy = [&w,
                           act = once([&w] {
                             (void)w.files.RemoveFile("C:\\Data\\Jobs\\Sub\\two.dat");
                             ASSERT_FALSE(w.files.MountOnHeld("C:\\Data\\Jobs\\Sub", "C:\\Secret"));
                           })](const std::string& from) {
           if (from.ends_with("job1.dat")) act();
         };
       },
       MoveOutcome::NotMoved},
      {"a name swapped for a link to another file between the listing and the open",
       [&](World& w) {
         w.files.onOpen = [&w, act = once([&w] {
                                 (void)w.files.RemoveFile("C:\\Data\\Jobs\\job1.dat");
                                 w.files.AddHardLink("C:\\Data\\Jobs\\job1.dat",
                                                     "C:\\Secret\\secret.txt");
                               })](const std::string& path, OpenAs) {
           if (path.ends_with("job1.dat")) act();
         };
       },
       MoveOutcome::NotMoved},
      {"a failed copy's name made a link to another file before its cleanup",
       [&](World& w) {
         // Exactly the tree fits, until another program fills the drive after the first copy.
         w.files.capacity['E'] = 3 + 2 + 5 + 3 + 3;
         w.files.onCopy = [&w, act = once([&w] { w.files.AddFile("E:\\other", "xxxxxxxxxxx"); })](
                              const std::string&) { act(); };
         w.files.onWrite = [&w](const std::string& to) {
           if (!to.ends_with("hidden.sys")) return;
           w.files.AddAlias(to, "C:\\Victim\\keep.txt");
         };
       },
       MoveOutcome::NotMoved, "hidden.sys"},
      {"a file reaches the old tree after it was checked",
       [&](World& w) {
         w.view.onPhase = [&w](const std::string& phase) {
           if (phase.starts_with("Moving")) w.files.AddFile("C:\\Data\\Jobs\\late.dat", "late");
         };
       },
       MoveOutcome::MovedOldFolderKept},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.files.AddFile("C:\\Secret\\secret.txt", "secret");
    w.files.AddFile("C:\\Victim\\keep.txt", "keep");
    c.stage(w);
    const std::string ticketBefore = w.files.Content(kTicket);
    const MoveResult result = w.Move(3, "E:\\Jobs");
    EXPECT_EQ(result.outcome, c.outcome) << result.message;
    EXPECT_EQ(w.files.FilesBelow("C:\\Victim"),
              (std::map<std::string, std::string>{{"keep.txt", "keep"}}));
    EXPECT_EQ(w.files.Content("C:\\Secret\\secret.txt"), "secret");
    for (const auto& [name, content] : w.files.FilesBelow("E:\\Jobs")) {
      EXPECT_NE(content, "secret") << name << " was read from outside the old tree";
    }
    // What the move made and could not complete goes.
    if (c.halfMade) {
      EXPECT_EQ(w.files.FilesBelow("E:\\Jobs").count(c.halfMade), 0u);
    }
    if (c.outcome == MoveOutcome::NotMoved) {
      EXPECT_EQ(w.files.Content(kTicket), ticketBefore);
      EXPECT_EQ(w.files.Content("C:\\Data\\Jobs\\Sub\\two.dat").empty(), false);
    } else {
      EXPECT_EQ(w.files.Content("C:\\Data\\Jobs\\late.dat"), "late");
      EXPECT_FALSE(w.Recycled());
      EXPECT_NE(result.message.find("late.dat"), std::string::npos) << result.message;
    }
    EXPECT_EQ(w.files.HeldNow(), 0);
  }
}

// An existing new folder: an empty one (what "Make New Folder" gives) is taken over; one that
// already holds files must be one ordinary users cannot change.
TEST(MoveFolderTest, AnExistingNewFolderIsTakenOverWhenEmptyAndRefusedWhenUsersCanChangeIt) {
  const Security usersModify{sid::kAdministrators, "", false,
                             std::vector<Ace>{{Ace::Kind::kAllow, 0, 0x1301bf, sid::kUsers}}};
  const Security userOwned{test::FakeFileSystem::kProcessUser + std::string("1"), "", true,
                           std::vector<Ace>{}};
  struct Case {
    const char* name;
    bool empty;
    Security security;
    MoveOutcome outcome;
    const char* says;
  };
  const Case cases[] = {
      {"empty, made by a user", true, userOwned, MoveOutcome::Moved, ""},
      {"holding files, users may change it", false, usersModify, MoveOutcome::Refused,
       "E:\\Jobs: already holds files, and name of S-1-5-32-545 may change it"},
      {"holding files, owned by a user", false, userOwned, MoveOutcome::Refused,
       "E:\\Jobs: already holds files, and belongs to name of S-1-5-21"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.files.AddFolder("E:\\Jobs");
    if (!c.empty) w.files.AddFile("E:\\Jobs\\other.dat", "other");
    w.files.SetSecurity("E:\\Jobs", c.security);
    Security during;
    w.files.onCopy = [&](const std::string&) { during = w.files.SecurityOf("E:\\Jobs"); };
    const MoveResult result = w.Move(3, "E:\\Jobs");
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
    if (c.outcome == MoveOutcome::Moved) {
      EXPECT_EQ(during.ownerSid, sid::kAdministrators);
      EXPECT_EQ(during.dacl, AdministratorsOnly().dacl);
    } else {
      EXPECT_EQ(w.files.Content("E:\\Jobs\\other.dat"), "other");
      EXPECT_FALSE(w.files.Exists("E:\\Jobs\\job1.dat"));
    }
  }
}

// While the copy is built it admits only administrators and SYSTEM; once it is checked it has the
// old tree's permissions: the top every entry the old top had, protected, and below it each
// object's own entries and protection, the rest inherited from its new parent.
TEST(MoveFolderTest, TheCopyAdmitsNobodyWhileItIsBuiltThenTakesTheOldPermissions) {
  constexpr char kServer[] = "S-1-5-21-9-9-9-1005";
  const uint8_t inherit = Ace::kObjectInherit | Ace::kContainerInherit;
  const Ace admins{Ace::Kind::kAllow, inherit, access::kFullControl, sid::kAdministrators};
  const Ace server{Ace::Kind::kAllow, inherit, access::kFullControl, kServer};
  const Ace reader{Ace::Kind::kAllow, 0, 0x1200a9, sid::kUsers};
  for (const int workers : {0, 2}) {
    for (const bool restorePrivilege : {true, false}) {
      SCOPED_TRACE(restorePrivilege ? "owners carried" : "owners not carried");
      SCOPED_TRACE(workers ? "files on workers" : "files on this thread");
      World w;
      w.services.copyWorkers = workers;
      w.files.restorePrivilegeHeld = restorePrivilege;
      // The old top inherits the server's entry from its parent; its files inherit from it.
      w.files.SetSecurity("C:\\Data",
                          {sid::kAdministrators, "", true, std::vector<Ace>{admins, server}});
      w.files.SetSecurity("C:\\Data\\Jobs", {kServer, "", false, std::vector<Ace>{}});
      w.files.SetSecurity("C:\\Data\\Jobs\\job1.dat",
                          {kServer, "", false, std::vector<Ace>{reader}});
      w.files.SetSecurity("C:\\Data\\Jobs\\Sub", {kServer, "", true, std::vector<Ace>{server}});
      const Security sub = w.files.SecurityOf("C:\\Data\\Jobs\\Sub");
      std::vector<Security> during;
      w.files.onCopy = [&](const std::string&) {
        for (const char* made : {"E:\\Jobs", "E:\\Jobs\\job1.dat"}) {
          if (w.files.Exists(made)) during.push_back(w.files.SecurityOf(made));
        }
      };
      const MoveResult result = w.Move(3, "E:\\Jobs");
      ASSERT_EQ(result.outcome, MoveOutcome::Moved) << result.message;
      ASSERT_FALSE(during.empty());
      for (const Security& made : during) {
        EXPECT_EQ(made.dacl, AdministratorsOnly().dacl);
        EXPECT_TRUE(made.isProtected);
      }
      const Security top = w.files.SecurityOf("E:\\Jobs");
      EXPECT_TRUE(top.isProtected);
      EXPECT_EQ(top.dacl, (std::vector<Ace>{admins, server}));
      const Security file = w.files.SecurityOf("E:\\Jobs\\job1.dat");
      EXPECT_FALSE(file.isProtected);
      ASSERT_EQ(file.dacl->size(), 3u);
      EXPECT_EQ(file.dacl->at(0), reader);
      EXPECT_EQ(file.dacl->at(2).sid, kServer);
      EXPECT_TRUE(file.dacl->at(2).inherited());
      EXPECT_EQ(w.files.SecurityOf("E:\\Jobs\\Sub").dacl, sub.dacl);
      const std::string owner = restorePrivilege ? kServer : sid::kAdministrators;
      EXPECT_EQ(top.ownerSid, owner);
      EXPECT_EQ(file.ownerSid, owner);
      const auto notCarried =
          std::count_if(w.log.begin(), w.log.end(), [&](const std::string& line) {
            return line.find("owner " + std::string(kServer) + " not carried") != std::string::npos;
          });
      EXPECT_EQ(notCarried, restorePrivilege ? 0 : 3);
      // Each folder's list set once, its children still protected: no folder's propagation
      // reaches below its own children.
      EXPECT_LE(w.files.propagationVisits, 8);
    }
  }
}

// However many folders the old tree has, a walk holds only those above the files in hand: a
// wide tree must not run the process out of handles.
TEST(MoveFolderTest, TheOldTreeIsHeldOnlyAlongThePathInHand) {
  World w;
  for (int i = 0; i < 40; ++i) {
    w.files.AddFile("C:\\Data\\Jobs\\Wide" + std::to_string(i) + "\\Deep\\f.dat", "f");
  }
  int mostHeld = 0;
  w.files.onCopy = [&](const std::string&) {
    mostHeld = std::max(mostHeld, w.files.HeldNow("C:\\Data\\Jobs"));
  };
  EXPECT_EQ(w.Move(3, "E:\\Jobs").outcome, MoveOutcome::Moved);
  EXPECT_GE(mostHeld, 1);
  EXPECT_LE(mostHeld, 3);
}

// Any operation but a move, for the host to be busy with.
struct RestartWaitStandIn final : Operation {
  Progress Step() override { return Progress::kRunning; }
  void Cancel() override {}
  uint32_t StepIntervalMs() const override { return 250; }
};

// OK's moves, stepped as the window would until they end; nothing when OK starts none.
std::unique_ptr<FolderMoves> RunMoves(World& w, std::array<FolderRowState, 5>& rows,
                                      const std::string& productGuid,
                                      FolderMoves** running = nullptr,
                                      const OperationHost* host = nullptr) {
  static test::FakeHostWindow window;
  static const OperationHost idle(window);
  int ended = 0;
  std::unique_ptr<FolderMoves> moves =
      FolderMoves::Begin(w.services, w.view, host ? *host : idle, rows, productGuid, "C:\\Server",
                         [&ended] { ++ended; });
  if (!moves) return nullptr;
  if (running) *running = moves.get();
  while (moves->Step() == Operation::Progress::kRunning) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(ended, 1);
  return moves;
}

// What a move's thread shows reaches the window in order, every file counted, and Cancel pressed
// there comes back.
TEST(FolderMovesTest, TheRelayKeepsTheOrderAndCountsEveryFile) {
  test::FakeHostWindow waker;
  ProgressRelay relay(waker);
  test::FakeMoveView view;
  std::vector<std::string> lines;
  const ProgressRelay::LogLine log = [&](const std::string& key, const std::string& value) {
    lines.push_back(key + " = " + value + " after " + std::to_string(view.steps) + " files");
  };
  relay.Open("Job folder:");
  relay.SetFileTotal(3);
  for (int i = 0; i < 3; ++i) relay.StepFile();
  relay.ShowPhase("Verifying");
  relay.Log("Move", "done");
  relay.StepFile();
  EXPECT_FALSE(relay.Cancelled());
  relay.Deliver(view, log);
  EXPECT_EQ(view.opened, std::vector<std::string>{"Job folder:"});
  EXPECT_EQ(view.fileTotal, 3);
  EXPECT_EQ(view.steps, 4);
  EXPECT_EQ(view.phases, std::vector<std::string>{"Verifying"});
  EXPECT_EQ(lines, std::vector<std::string>{"Move = done after 3 files"});
  view.cancelled = true;
  relay.Deliver(view, log);
  EXPECT_TRUE(relay.Cancelled());
}

TEST(FolderMovesTest, OkMovesTheChangedRowsInOrder) {
  World w;
  auto rows = w.Rows();
  rows[4].editText = "E:\\Temp";
  rows[2].editText = "E:\\Jobs";
  RunMoves(w, rows, "{4D2-GUID}");
  EXPECT_EQ(w.view.opened, (std::vector<std::string>{"Job folder:", "Temporary files:"}));
  EXPECT_EQ(rows[2].storedValue, "E:\\Jobs");
  EXPECT_EQ(rows[4].storedValue, "E:\\Temp");
  const FolderSettings after = w.ticket.ReadFolderSettings();
  EXPECT_EQ(after.Job, "E:\\Jobs");
  EXPECT_EQ(after.Temp, "E:\\Temp");
  EXPECT_EQ(after.Print, "C:\\Data\\Print");
  EXPECT_EQ(std::count(w.files.journal.begin(), w.files.journal.end(),
                       "replace keeping " + std::string(kTicket)),
            2);
  EXPECT_TRUE(w.view.messages.empty());
  // Each row's trace line reaches the log from the window's thread, in order.
  ASSERT_EQ(w.log.size(), 2u);
  EXPECT_NE(w.log[0].find("-> E:\\Jobs: moved"), std::string::npos);
  EXPECT_NE(w.log[1].find("-> E:\\Temp: moved"), std::string::npos);
  EXPECT_EQ(w.view.steps, 1) << "the Temp row's file, the Job row's counted before it";
}

TEST(FolderMovesTest, AFailedRowIsToldAndTheOthersGoOnUnlessTheTicketFailed) {
  for (const bool ticketFails : {false, true}) {
    SCOPED_TRACE(ticketFails ? "ticket fails" : "a file fails");
    World w;
    if (ticketFails) {
      w.files.keepingReplaceErrors.assign(SettingsTicket::kReplaceAttempts,
                                          OsError{5, "ReplaceFileW", ""});
    } else {
      w.files.copyErrors["C:\\Data\\Jobs\\job1.dat"] = {32, "CopyFileExW", "in use"};
    }
    auto rows = w.Rows();
    rows[2].editText = "E:\\Jobs";
    rows[4].editText = "E:\\Temp";
    const auto moves = RunMoves(w, rows, "");
    ASSERT_EQ(w.view.messages.size(), 1u);
    EXPECT_EQ(w.view.messages[0].second, "Folder error");
    EXPECT_EQ(moves->results().size(), ticketFails ? 3u : 5u);  // rows 1 and 2 unchanged
    EXPECT_EQ(rows[2].storedValue, "C:\\Data\\Jobs");
    EXPECT_EQ(rows[4].storedValue, ticketFails ? "C:\\Data\\Temp" : "E:\\Temp");
  }
}

TEST(FolderMovesTest, NothingChangedOrServerRunningTouchesNothing) {
  World w;
  w.serverStopped = false;
  auto rows = w.Rows();
  EXPECT_EQ(RunMoves(w, rows, ""), nullptr);
  EXPECT_TRUE(w.view.messages.empty());
  rows[2].editText = "E:\\Jobs";
  EXPECT_EQ(RunMoves(w, rows, ""), nullptr);
  // Stopped, but a restart's wait still runs: its start would follow the move.
  w.serverStopped = true;
  test::FakeHostWindow window;
  OperationHost busy(window);
  ASSERT_TRUE(busy.Start(std::make_unique<RestartWaitStandIn>()));
  EXPECT_EQ(RunMoves(w, rows, "", nullptr, &busy), nullptr);
  ASSERT_EQ(w.view.messages.size(), 2u);
  for (const auto& [text, caption] : w.view.messages) {
    EXPECT_NE(text.find("The server is running"), std::string::npos);
  }
  EXPECT_TRUE(w.files.journal.empty());
  EXPECT_TRUE(w.view.opened.empty());
}

TEST(FolderMovesTest, CloseDuringACopyCancelsThatRowAndEndsTheRest) {
  World w;
  // Known before the first step starts a row's thread.
  FolderMoves* started = nullptr;
  w.files.onCopy = [&](const std::string&) { started->RequestClose(); };
  auto rows = w.Rows();
  rows[2].editText = "E:\\Jobs";
  rows[4].editText = "E:\\Temp";
  const auto moves = RunMoves(w, rows, "", &started);
  ASSERT_EQ(moves->results().size(), 3u);  // rows 1 and 2 unchanged, row 5 never started
  EXPECT_EQ(moves->results()[2].outcome, MoveOutcome::Cancelled);
  EXPECT_TRUE(moves->closeRequested());
  EXPECT_EQ(w.files.Content(kTicket), kTicketText);
  EXPECT_EQ(w.view.closes, 1);
}

}  // namespace
}  // namespace dpc
