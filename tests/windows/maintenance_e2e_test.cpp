// The real controller's Server File Maintenance dialog under Wine, opened by "elevation 11" and
// driven from outside through its standard controls: a real move of a tree with hidden and system
// files, a "." folder and a path beyond 260 characters; and the cases that must leave the old
// tree and the ticket alone (a full drive, a locked file, Cancel). Which move fails for which
// reason is proved in the move's own tests; these prove the windows and the real file system.

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "maintenance/ticket.h"
#include "platform/win32/text.h"
#include "stand_in_fixture.h"

namespace dpc::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kJobEdit = 1103;  // the job folder row's edit (rows 1..5: 1101..1105)
constexpr wchar_t kTicket[] = L"C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";
constexpr wchar_t kScratch[] = L"C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.tmp";
constexpr auto kBound = 20s;

std::string Utf8(const std::wstring& text) { return win32::WideToUtf8(text); }

// The path as the ticket stores it.
std::string Doubled(const fs::path& path) { return DoubleBackslashes(Utf8(path.wstring())); }

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A file by its \\?\ path, so that paths beyond 260 characters work.
void WriteTestFile(const fs::path& path, const std::string& bytes, DWORD attributes = 0) {
  const std::wstring longPath = L"\\\\?\\" + path.wstring();
  HANDLE file = CreateFileW(longPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path.wstring());
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (attributes) SetFileAttributesW(longPath.c_str(), attributes);
}

// Wine starts Unix programs: the tests make and remove Unix symbolic links as someone with a
// shell on the machine would (Wine's CreateSymbolicLinkW makes nothing).
bool RunUnix(const wchar_t* program, const std::vector<fs::path>& paths) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring command = program;
  for (const fs::path& path : paths) {
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!unix) return false;
    command += L" \"" + win32::Utf8ToWide(unix) + L"\"";
    HeapFree(GetProcessHeap(), 0, unix);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

DWORD Attributes(const fs::path& path) {
  return GetFileAttributesW((L"\\\\?\\" + path.wstring()).c_str());
}

class MaintenanceTest : public StandInServerTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StandInServerTest::SetUp());  // the server, installed and stopped
    jobs_ = controller_.folder() / L"Data" / L"Jobs";
    fs::create_directories(jobs_);
    fs::create_directories(fs::path(kTicket).parent_path());
    WriteTicket(jobs_);
  }
  void TearDown() override {
    DeleteFileW(kTicket);
    SetFileAttributesW(kScratch, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(kScratch);
  }

  static void WriteTicket(const fs::path& jobs, const char* encoding = "windows-1252") {
    std::ofstream(kTicket, std::ios::binary | std::ios::trunc)
        << "<?xml version=\"1.0\" encoding=\"" << encoding << "\"?>\r\n<Ticket>\r\n"
        << "  <System><CountryCode>1033</CountryCode></System>\r\n"
        << "  <Job type=\"string\">" << Doubled(jobs) << "</Job>\r\n</Ticket>\r\n";
  }

  // Starts the controller with "elevation 11" and waits for the dialog.
  void OpenDialog() {
    ASSERT_TRUE(controller_.Start(L"elevation 11"));
    dialog_ = controller_.WaitForWindowOfClass(L"TfrmSettingsDlg", kBound);
    ASSERT_NE(dialog_, nullptr) << "no maintenance dialog";
    ASSERT_TRUE(Eventually(kBound, [&] { return IsWindowVisible(dialog_) != FALSE; }));
  }

  // Types the job folder's new place and presses OK, as the operator would.
  void MoveJobsTo(const fs::path& target) {
    HWND edit = GetDlgItem(dialog_, kJobEdit);
    ASSERT_NE(edit, nullptr);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDOK)));
  }

  bool DialogClosed() {
    return Eventually(60s, [&] { return !IsWindow(dialog_) || !IsWindowVisible(dialog_); });
  }

  // The one "Folder error" box of a refused or failed move: its text, after pressing OK.
  std::wstring FolderErrorText() {
    HWND box = controller_.WaitForMessageBox(L"Folder error", kBound);
    if (!box) return L"<no message>";
    const std::wstring text = ControllerProcess::MessageBoxText(box);
    ControllerProcess::CloseMessageBox(box);
    return text;
  }

  void CloseController() {
    EXPECT_TRUE(controller_.PostClose());
    EXPECT_TRUE(controller_.WaitForExit(15s));
  }

  ControllerProcess controller_;
  fs::path jobs_;
  HWND dialog_ = nullptr;
};

TEST_F(MaintenanceTest, MovesHiddenSystemAndDotFolderFilesRewritesTheTicketAndRecyclesTheOldTree) {
  WriteTestFile(jobs_ / L"job.tif", "job");
  WriteTestFile(jobs_ / L"index.db", "hs", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fs::create_directories(jobs_ / L".cache");
  WriteTestFile(jobs_ / L".cache" / L"c.bin", "cache");
  const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_EQ(Attributes(jobs_ / L"index.db") & hiddenSystem, hiddenSystem);
  // Somebody's scratch file, left read-only beside the ticket, never becomes the ticket.
  WriteTestFile(kScratch, "planted", FILE_ATTRIBUTE_READONLY);

  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  const fs::path target = controller_.folder() / L"Moved Jobs";
  ASSERT_NO_FATAL_FAILURE(MoveJobsTo(target));
  ASSERT_TRUE(DialogClosed());
  ASSERT_TRUE(Eventually(kBound, [&] { return !fs::exists(jobs_); }))
      << "the old tree did not go to the recycle bin";

  EXPECT_NE(ReadAll(kTicket).find("<Job type=\"string\">" + Doubled(target) + "</Job>\r\n"),
            std::string::npos)
      << ReadAll(kTicket);
  EXPECT_EQ(ReadAll(target / L"job.tif"), "job");
  EXPECT_EQ(Attributes(target / L"index.db") & hiddenSystem, hiddenSystem);
  EXPECT_EQ(ReadAll(target / L".cache" / L"c.bin"), "cache");
  EXPECT_FALSE(fs::exists(kScratch));
  EXPECT_EQ(controller_.WaitForMessageBox(L"Folder error", 0ms), nullptr);
  EXPECT_TRUE(controller_.IsRunning());
  CloseController();
}

// Whether others may read it: Wine keeps no access list of its own and makes one from the Unix
// mode, with an entry for Everyone when others may read.
bool EveryoneMayRead(const fs::path& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    ADD_FAILURE() << "no access list for " << Utf8(path.wstring());
    return false;
  }
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
  bool reads = false;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, everyone) &&
        (ace->Mask & FILE_READ_DATA) != 0) {
      reads = true;
    }
  }
  LocalFree(descriptor);
  return reads;
}

// The copies take the old tree's permissions: a job folder others could not read gives one they
// cannot read either, and one they could read, one they still can.
TEST_F(MaintenanceTest, TheNewFolderKeepsTheOldOnesPermissions) {
  for (const wchar_t* mode : {L"/bin/chmod 700", L"/bin/chmod 755"}) {
    SCOPED_TRACE(Utf8(mode));
    fs::remove_all(jobs_);
    fs::create_directories(jobs_);
    WriteTestFile(jobs_ / L"job.tif", "job");
    ASSERT_TRUE(RunUnix(mode, {jobs_, jobs_ / L"job.tif"}));
    // The Unix program ends on its own time.
    const bool readable = std::wstring(mode).ends_with(L"755");
    ASSERT_TRUE(Eventually(kBound, [&] {
      return EveryoneMayRead(jobs_) == readable && EveryoneMayRead(jobs_ / L"job.tif") == readable;
    }));
    WriteTicket(jobs_);

    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    const fs::path target = controller_.folder() / L"Moved Jobs";
    ASSERT_NO_FATAL_FAILURE(MoveJobsTo(target));
    ASSERT_TRUE(Eventually(kBound, [&] { return !fs::exists(jobs_); })) << Utf8(FolderErrorText());
    ASSERT_EQ(ReadAll(target / L"job.tif"), "job");
    EXPECT_EQ(EveryoneMayRead(target), readable);
    EXPECT_EQ(EveryoneMayRead(target / L"job.tif"), readable);
    CloseController();
    fs::remove_all(target);
  }
}

// The shell's recycle bin takes no tree with a path beyond 260 characters (Wine's, as Windows'):
// the files move and the ticket names them, and the operator learns that the old tree stays.
TEST_F(MaintenanceTest, TreeWithALongPathMovesAndTheOperatorLearnsTheOldTreeStays) {
  const std::wstring deep(150, L'd');
  CreateDirectoryW((L"\\\\?\\" + (jobs_ / deep).wstring()).c_str(), nullptr);
  const fs::path longFile = fs::path(deep) / (std::wstring(120, L'f') + L".dat");
  WriteTestFile(jobs_ / longFile, "long");
  ASSERT_GT((jobs_ / longFile).wstring().size(), 260u);

  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  const fs::path target = controller_.folder() / L"Moved Jobs";
  ASSERT_NO_FATAL_FAILURE(MoveJobsTo(target));
  const std::wstring text = FolderErrorText();
  ASSERT_TRUE(DialogClosed());

  EXPECT_NE(ReadAll(kTicket).find(Doubled(target)), std::string::npos);
  EXPECT_EQ(ReadAll(L"\\\\?\\" + (target / longFile).wstring()), "long");
  if (fs::exists(jobs_)) {
    EXPECT_NE(text.find(jobs_.wstring()), std::wstring::npos) << Utf8(text);
  }
  CloseController();
}

// Wine's shell has no recycle bin when it cannot make its trash folder: the files move, the
// ticket names the new place, and the old tree stays whole instead of being deleted for good.
TEST_F(MaintenanceTest, WithoutARecycleBinTheOldTreeStaysAndTheOperatorIsTold) {
  WriteTestFile(jobs_ / L"job.tif", "job");
  wchar_t saved[1024] = {};
  const bool had = GetEnvironmentVariableW(L"XDG_DATA_HOME", saved, 1024) != 0;
  SetEnvironmentVariableW(L"XDG_DATA_HOME", L"/nonexistent/dpc-no-trash");
  OpenDialog();
  SetEnvironmentVariableW(L"XDG_DATA_HOME", had ? saved : nullptr);
  if (HasFatalFailure()) return;
  const fs::path target = controller_.folder() / L"Moved Jobs";
  ASSERT_NO_FATAL_FAILURE(MoveJobsTo(target));
  const std::wstring text = FolderErrorText();
  ASSERT_TRUE(DialogClosed());

  EXPECT_NE(text.find(L"\"" + jobs_.wstring() + L"\" stays where it was"), std::wstring::npos)
      << Utf8(text);
  EXPECT_NE(ReadAll(kTicket).find(Doubled(target)), std::string::npos);
  EXPECT_EQ(ReadAll(jobs_ / L"job.tif"), "job");
  EXPECT_EQ(ReadAll(target / L"job.tif"), "job");
  EXPECT_FALSE(fs::exists(jobs_ / L"Durvin recycle bin test.tmp"));
  CloseController();
  EXPECT_NE(ReadAll(controller_.folder() / L"DurvinProofControl.log").find("not deleted for good"),
            std::string::npos);
}

// A Unix link at the new place that leads into the old tree: refused before anything is
// written, so no file can end up reachable only through the recycle bin.
TEST_F(MaintenanceTest, ALinkAtTheNewPlaceIntoTheOldTreeIsRefusedBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    const wchar_t* target;  // the new folder, below the controller's folder
    const wchar_t* link;    // the link to the old tree's "Sub" made there first
  };
  const Case cases[] = {
      {"the new folder is a link into a subfolder of the old one", L"Linked Jobs", L"Linked Jobs"},
      {"a link inside the new folder back into the old one", L"Moved Jobs", L"Moved Jobs\\Sub"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(jobs_);
    fs::create_directories(jobs_ / L"Sub");
    WriteTestFile(jobs_ / L"job.tif", "job");
    WriteTestFile(jobs_ / L"Sub" / L"two.tif", "two");
    const fs::path target = controller_.folder() / c.target;
    fs::create_directories((controller_.folder() / c.link).parent_path());
    ASSERT_TRUE(RunUnix(L"/bin/ln -s", {jobs_ / L"Sub", controller_.folder() / c.link}));
    const std::string ticket = ReadAll(kTicket);

    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    ASSERT_NO_FATAL_FAILURE(MoveJobsTo(target));
    const std::wstring text = FolderErrorText();
    ASSERT_TRUE(DialogClosed());
    EXPECT_NE(text.find(L"a link to another place"), std::wstring::npos) << Utf8(text);
    EXPECT_EQ(ReadAll(kTicket), ticket);
    EXPECT_EQ(ReadAll(jobs_ / L"job.tif"), "job");
    EXPECT_EQ(ReadAll(jobs_ / L"Sub" / L"two.tif"), "two");
    EXPECT_FALSE(fs::exists(target / L"job.tif")) << "copied, or copied into the old folder";
    CloseController();
    RunUnix(L"/bin/rm", {controller_.folder() / c.link});  // the link only
  }
}

// A locked file, a scratch file another program holds open, Esc in the progress window, the
// end of the session and a drive too small each end the move with the old tree and the ticket
// as they were; the refusals say why in one message.
TEST_F(MaintenanceTest, AMoveThatCannotCompleteKeepsTheOldTreeAndTheTicket) {
  char smallDrive[8] = {};
  GetEnvironmentVariableA("DPC_SMALL_DRIVE", smallDrive, sizeof smallDrive);
  struct Case {
    const char* name;
    int files;
    size_t bytes;
    fs::path target;
    const wchar_t* says;  // nullptr: the progress window is asked to stop instead
  };
  const Case cases[] = {
      {"locked file", 3, 3, L"Moved Jobs", L"job1.tif"},
      {"scratch file held open", 3, 3, L"Moved Jobs", L"SYS_0000.tmp"},
      {"cancel", 1500, 4096, L"Moved Jobs", nullptr},
      {"session end", 1500, 4096, L"Moved Jobs", nullptr},
      {"small drive", 3, 1 << 20, std::string(smallDrive) + "\\Jobs", L"Not enough disk space!"},
  };
  for (const Case& c : cases) {
    if (c.name == std::string("small drive") && smallDrive[0] == 0) continue;  // a tmpfs needs root
    SCOPED_TRACE(c.name);
    fs::remove_all(jobs_);
    fs::create_directories(jobs_);
    for (int i = 0; i < c.files; ++i)
      WriteTestFile(jobs_ / (L"job" + std::to_wstring(i) + L".tif"), std::string(c.bytes, 'x'));
    // Another program holds a file open without sharing it.
    const std::string name = c.name;
    if (name == "scratch file held open") WriteTestFile(kScratch, "planted");
    HANDLE locked =
        name == "locked file" || name == "scratch file held open"
            ? CreateFileW(name == "locked file" ? (jobs_ / L"job1.tif").c_str() : kScratch,
                          GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
            : INVALID_HANDLE_VALUE;
    const std::string ticket = ReadAll(kTicket);

    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    const fs::path target = c.target.is_absolute() ? c.target : controller_.folder() / c.target;
    ASSERT_NO_FATAL_FAILURE(MoveJobsTo(target));
    if (c.says) {
      const std::wstring text = FolderErrorText();
      EXPECT_NE(text.find(c.says), std::wstring::npos) << Utf8(text);
    } else {
      HWND progress = controller_.WaitForWindowOfClass(L"TfrmCopyProgress", kBound);
      ASSERT_NE(progress, nullptr) << "no progress window";
      if (name == "cancel") {
        PostMessageW(GetDlgItem(progress, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 1);
      } else {
        // An installer's restart manager: "not now", then the controller ends after the row.
        DWORD_PTR answer = TRUE;
        SendMessageTimeoutW(progress, WM_QUERYENDSESSION, 0,
                            static_cast<LPARAM>(ENDSESSION_CLOSEAPP), SMTO_ABORTIFHUNG, 10000,
                            &answer);
        EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE));
        EXPECT_TRUE(controller_.WaitForExit(60s));
      }
    }
    ASSERT_TRUE(DialogClosed());
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
    DeleteFileW(kScratch);

    EXPECT_EQ(ReadAll(kTicket), ticket);
    for (int i = 0; i < c.files; ++i)
      EXPECT_TRUE(fs::exists(jobs_ / (L"job" + std::to_wstring(i) + L".tif"))) << i;
    if (name != "session end") CloseController();
    std::error_code ignored;
    fs::remove_all(target, ignored);
  }
}

// Code page 1252 and ISO-8859-1 write "ä" as the same byte: the ticket holds the one both read.
TEST_F(MaintenanceTest, AnAccentedFolderMovesUnderAnIsoLatin1TicketWhichHoldsItsByte) {
  WriteTicket(jobs_, "ISO-8859-1");
  WriteTestFile(jobs_ / L"job.tif", "job");
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  const fs::path target = controller_.folder() / L"Auftr\u00E4ge";
  ASSERT_NO_FATAL_FAILURE(MoveJobsTo(target));
  ASSERT_TRUE(DialogClosed()) << Utf8(FolderErrorText());
  const std::string job = Doubled(controller_.folder()) + "\\\\Auftr\xE4ge</Job>";
  EXPECT_TRUE(Eventually(kBound, [&] { return ReadAll(kTicket).find(job) != std::string::npos; }))
      << ReadAll(kTicket);
  EXPECT_EQ(ReadAll(target / L"job.tif"), "job");
  CloseController();
}

}  // namespace
}  // namespace dpc::e2e
