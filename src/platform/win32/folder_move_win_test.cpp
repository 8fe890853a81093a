#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win32/adapter_test_support.h"
#include "maintenance/folder_move.h"
#include "platform/win32/clock_win.h"
#include "platform/win32/folders_win.h"
#include "platform/win32/message_pump_win.h"
#include "platform/win32/registry_win.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::win32 {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The common application data folder is the test's own folder, so the ticket lies there.
class ShellStub final : public Shell {
 public:
  explicit ShellStub(std::string appData) : appData_(std::move(appData)) {}
  std::optional<OsError> ExecuteEx(const ShellExecuteRequest&) override { return std::nullopt; }
  intptr_t Execute(WindowId, const std::string&, const std::string&, const std::string&,
                   const std::string&, int) override {
    return 0;
  }
  uint32_t WinExec(const std::string&, int) override { return 0; }
  std::string SpecialFolderPath(int, bool) override { return appData_; }

 private:
  std::string appData_;
};

class NullView final : public ProgressView {
 public:
  void Open(const std::string&) override {}
  void SetFileTotal(int64_t total) override { fileTotal = total; }
  void StepFile() override {}
  bool Cancelled() override { return false; }
  void Close() override {}
  int64_t fileTotal = 0;
};

// The small drive is shared by the tests of one run: what a test leaves there goes.
void RemoveTree(const std::string& path) {
  FolderFileSystemWin files;
  if (auto entries = files.ListFolder(path)) {
    for (const FolderEntry& entry : *entries) {
      const std::string child = path + "\\" + entry.name;
      if (entry.IsFolder()) {
        RemoveTree(child);
      } else {
        files.RemoveFile(child);
      }
    }
  }
  ::RemoveDirectoryW(ExtendedPath(path).c_str());
}

// The move of the job folder with the real adapters: files, ticket, recycle bin. The folder's
// name is ASCII, as the ticket's must be.
class FolderMoveWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tickets = folder.File("Durvin\\Proof\\Server\\Tickets");
    ASSERT_TRUE(files.CreateFolderTree(tickets).ok());
    ASSERT_TRUE(files.CreateFolderTree(oldJobs + "\\.cache").ok());
    WriteBytes(oldJobs + "\\job1.dat", "one");
    WriteBytes(oldJobs + "\\.cache\\c.bin", "cache");
    WriteBytes(oldJobs + "\\hidden.sys", "hs");
    ::SetFileAttributesW(Utf8ToWide(oldJobs + "\\hidden.sys").c_str(), kHiddenSystem);
    ticketText =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Settings>\r\n  <Job "
        "type=\"string\">" +
        DoubleBackslashes(oldJobs) + "</Job>\r\n</Settings>\r\n";
    WriteBytes(tickets + "\\SYS_0000.xml", ticketText);
    ticket.ReadFolderSettings();
  }
  MoveResult Move(const std::string& to) {
    MoveFolder move(services, view, {kFolderRows[2], oldJobs, to, "", {}});
    move.Run();
    return move.result();
  }

  TempFolder folder{TempFolder::Name::Ascii};
  const std::string oldJobs = folder.File("Old\\Jobs");
  std::string tickets;
  std::string ticketText;
  FolderFileSystemWin files;
  AnsiCodePageWin codePage;
  RegistryWin registry;
  MessagePumpWin pump;
  ClockWin clock;
  ShellStub shell{folder.path()};
  Translator translator;
  SettingsTicket ticket{files, shell, codePage, clock};
  NullView view;
  MoveServices services{
      files, codePage, registry, pump, clock, translator, ticket, [] { return true; }, {}};
};

TEST_F(FolderMoveWinTest, HiddenFilesDotFoldersAndLongPathsMoveAndTheTicketFollows) {
  if (testing::RunningUnderWine() && std::getenv("XDG_DATA_HOME") == nullptr) {
    GTEST_SKIP() << "XDG_DATA_HOME keeps Wine's trash out of the user's own";
  }
  std::string deep = oldJobs;
  while (deep.size() < 280) deep += "\\" + std::string(40, 'd');
  ASSERT_TRUE(files.CreateFolderTree(deep).ok());
  ASSERT_FALSE(files.CopyNewFile(oldJobs + "\\job1.dat", deep + "\\deep.dat", {}));
  ASSERT_EQ(::GetFileAttributesW(Utf8ToWide(oldJobs + "\\hidden.sys").c_str()) & kHiddenSystem,
            kHiddenSystem);

  const std::string newJobs = folder.File("New\\Jobs");
  const MoveResult result = Move(newJobs);
  // Wine's recycle bin, like Windows' shell, may refuse a tree with a path beyond 260 characters:
  // the move then completes and the old tree stays, said in the message.
  ASSERT_TRUE(result.outcome == MoveOutcome::Moved ||
              result.outcome == MoveOutcome::MovedOldFolderKept)
      << result.message;
  EXPECT_EQ(view.fileTotal, 4);
  EXPECT_EQ(ReadBytes(newJobs + "\\.cache\\c.bin"), "cache");
  EXPECT_EQ(::GetFileAttributesW(Utf8ToWide(newJobs + "\\hidden.sys").c_str()) & kHiddenSystem,
            kHiddenSystem);
  EXPECT_EQ(files.ReadFileBytes(newJobs + deep.substr(oldJobs.size()) + "\\deep.dat").value(),
            "one");
  EXPECT_EQ(files.Stat(oldJobs).ok(), result.outcome == MoveOutcome::MovedOldFolderKept);
  EXPECT_EQ(
      ReadBytes(tickets + "\\SYS_0000.xml"),
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Settings>\r\n  <Job type=\"string\">" +
          DoubleBackslashes(newJobs) + "</Job>\r\n</Settings>\r\n");
}

TEST_F(FolderMoveWinTest, ALockedFileKeepsTheOldFolderAndTheTicket) {
  ScopedFileHandle lock(::CreateFileW(Utf8ToWide(oldJobs + "\\job1.dat").c_str(), GENERIC_READ, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  const MoveResult result = Move(folder.File("New\\Jobs"));
  EXPECT_EQ(result.outcome, MoveOutcome::NotMoved);
  EXPECT_NE(result.message.find("Code: 32."), std::string::npos) << result.message;
  EXPECT_EQ(ReadBytes(oldJobs + "\\hidden.sys"), "hs");
  EXPECT_EQ(ReadBytes(tickets + "\\SYS_0000.xml"), ticketText);
}

// One-byte files fit the drive by their bytes but not by the clusters they take, so the copy
// runs out of room on the way. A small drive (1 MB) keeps the file count low.
TEST_F(FolderMoveWinTest, ADriveThatFillsUpKeepsTheOldFolderAndTheTicket) {
  const char* drive = std::getenv("DPC_SMALL_DRIVE");
  if (drive == nullptr) GTEST_SKIP() << "no small drive";
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  const std::wstring root = Utf8ToWide(std::string(1, drive[0]) + ":\\");
  ASSERT_TRUE(::GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                  &clusters));
  for (DWORD i = 0; i < freeClusters + 16; ++i)
    WriteBytes(oldJobs + "\\f" + std::to_string(i), "x");
  const MoveResult result = Move(std::string(drive) + "\\Jobs");
  EXPECT_EQ(result.outcome, MoveOutcome::NotMoved);
  EXPECT_NE(result.message.find("Code: 112."), std::string::npos) << result.message;
  EXPECT_EQ(ReadBytes(oldJobs + "\\job1.dat"), "one");
  EXPECT_EQ(ReadBytes(tickets + "\\SYS_0000.xml"), ticketText);
  RemoveTree(std::string(drive) + "\\Jobs");
}

}  // namespace
}  // namespace dpc::win32
