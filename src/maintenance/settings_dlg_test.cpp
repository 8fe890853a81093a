#include "maintenance/settings_dlg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_host_window.h"
#include "fakes/fake_settings_dlg.h"
#include "fakes/fake_system.h"

namespace dpc {
namespace {

constexpr const char* kTicket = "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";

struct DialogRig {
  explicit DialogRig(bool profileUpdater) {
    shell.specialFolders[SpecialFolder::CommonAppData] = "C:\\ProgramData";
    files.AddFile(kTicket,
                  "<Ticket>\r\n"
                  "<Job type=\"string\">C:\\\\Data\\\\Jobs</Job>\r\n"
                  "<Temp type=\"string\">C:\\\\Data\\\\Temp</Temp>\r\n"
                  "<ApplicationFolder type=\"string\">C:\\\\Server</ApplicationFolder>\r\n"
                  "</Ticket>\r\n");
    files.AddFile("C:\\Data\\Jobs\\job.dat", "job");
    files.AddFile("C:\\Data\\Temp\\t.dat", "t");
    if (profileUpdater) {
      files.AddFile("C:\\Server\\ProfileUpdater.xml",
                    "<productguid type=\"string\">4D2-GUID</productguid>");
    }
  }

  test::FakeFileSystem files;
  test::FakeAnsiCodePage codePage;
  test::FakeRegistry registry;
  test::FakeClock clock;
  test::FakeShell shell;
  Translator translator;
  SettingsTicket ticket{files, shell, codePage, clock};
  MoveServices services{files,  codePage, registry, translator, ticket, [] { return true; },
                        nullptr};
  test::FakeSettingsDlgWindow window;
  test::FakeHostWindow mainWindow;
  OperationHost operations{mainWindow};
  TfrmSettingsDlg dialog{services, window, operations};
};

TEST(TfrmSettingsDlg, OpensWithTheTicketsFoldersAndHidesTheMediaRowWithoutTheProfileUpdater) {
  for (bool profileUpdater : {true, false}) {
    SCOPED_TRACE(profileUpdater);
    DialogRig rig(profileUpdater);
    rig.dialog.FormCreate();
    EXPECT_EQ(rig.window.texts[2], "C:\\Data\\Jobs");
    EXPECT_EQ(rig.window.hints[2], "C:\\Data\\Jobs");
    EXPECT_EQ(rig.window.texts[0], "") << "an element the ticket lacks";
    EXPECT_EQ(rig.window.hidden[1], !profileUpdater);
    EXPECT_EQ(rig.dialog.productGuid(), profileUpdater ? "{4D2-GUID}" : "");
  }
}

TEST(TfrmSettingsDlg, BrowsingStartsAtTheTicketsFolderWhateverTheEditHolds) {
  DialogRig rig(true);
  rig.dialog.FormCreate();
  rig.window.texts[2] = "D:\\Typed";
  rig.window.browseResult = "E:\\Chosen";
  rig.dialog.jfbtnClick();
  rig.window.browseResult.reset();
  rig.dialog.tfbtnClick();  // cancelled: the edit keeps its text
  EXPECT_EQ(rig.window.browsedFrom, (std::vector<std::string>{"C:\\Data\\Jobs", "C:\\Data\\Temp"}));
  EXPECT_EQ(rig.window.texts[2], "E:\\Chosen");
  EXPECT_EQ(rig.window.hints[2], "C:\\Data\\Jobs") << "the hint names the ticket's folder";
  EXPECT_EQ(rig.window.texts[4], "C:\\Data\\Temp");
  EXPECT_EQ(rig.window.focused, 5);
}

TEST(TfrmSettingsDlg, OkMovesTheChangedRowsThenCloses) {
  DialogRig rig(true);
  rig.dialog.FormCreate();
  rig.window.texts[2] = "E:\\Jobs";
  rig.dialog.btnOKClick();
  EXPECT_EQ(rig.window.closes, 0) << "open while the moves run";
  while (rig.operations.running()) {
    (void)rig.operations.Step();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(rig.window.moves.opened, std::vector<std::string>{"Job folder:"});
  EXPECT_EQ(rig.files.Content("E:\\Jobs\\job.dat"), "job");
  EXPECT_EQ(rig.dialog.StoredValue(3), "E:\\Jobs");
  EXPECT_EQ(rig.window.hints[2], "E:\\Jobs");
  EXPECT_EQ(rig.ticket.ReadFolderSettings().Job, "E:\\Jobs");
  EXPECT_EQ(rig.window.closes, 1);
}

}  // namespace
}  // namespace dpc
