#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "adapter_test_support.h"
#include "platform/scope_exit.h"
#include "platform/win32/file_handle_win.h"
#include "platform/win32/file_system_win.h"

namespace dpc::win32 {
namespace {

using testing::ReadBytes;
using testing::RunningUnderWine;
using testing::TempFolder;
using testing::WriteBytes;

// Runs a shell script with Windows paths as $1, $2...: the tests make links and read modes as a
// user with a shell would. Wine starts Unix programs but hands back no pipe output and no process
// to wait for, so the script writes what it prints to a file, which appears when it ends.
std::string Shell(const std::string& script, std::vector<std::string> paths) {
  TempFolder scratch(TempFolder::Name::Ascii);
  WriteBytes(scratch.File("run.sh"),
             "o=\"$1\"; shift; { " + script + "; } >\"$o.part\" 2>&1; mv \"$o.part\" \"$o\"\n");
  paths.insert(paths.begin(), {scratch.File("run.sh"), scratch.File("out")});
  std::wstring command = L"/bin/sh";
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  for (const std::string& path : paths) {
    char* unix = toUnix(Utf8ToWide(path).c_str());
    command += L" \"" + Utf8ToWide(unix) + L"\"";
    ::HeapFree(::GetProcessHeap(), 0, unix);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return "<not started>";
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  for (int wait = 0; wait < 500 && ReadBytes(scratch.File("out")) == "<missing>"; ++wait)
    ::Sleep(20);
  std::string text = ReadBytes(scratch.File("out"));
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::unique_ptr<FileHandle> Must(OsResult<std::unique_ptr<FileHandle>> opened) {
  EXPECT_TRUE(opened.ok()) << opened.error().api << " " << opened.error().code;
  return opened ? std::move(*opened) : nullptr;
}

std::optional<FolderEntry> Named(const std::vector<FolderEntry>& entries, const std::string& name) {
  for (const FolderEntry& entry : entries) {
    if (entry.name == name) return entry;
  }
  return std::nullopt;
}

class FileHandleWinTest : public ::testing::Test {
 protected:
  TempFolder folder;
  FileSystemWin files;
};

TEST_F(FileHandleWinTest, ReachesEntriesThroughTheFolderHandleWhateverItsPathBecomes) {
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("outer")).c_str(), nullptr));
  auto top = Must(files.OpenPath(folder.File("outer"), OpenAs::kNewFolder));
  auto sub = Must(top->Create("sub", true));
  {
    auto file = Must(sub->Create("a.txt", false));
    ASSERT_TRUE(file->Write(5, "beta", 4));
    ASSERT_TRUE(file->Write(0, "alpha", 5));
    ASSERT_TRUE(file->SetBasics(0, FileTimes{0, 0, 0x01D0000000000000}));
  }
  const HandleInfo fileInfo = Must(sub->Open("a.txt", OpenAs::kFile))->Info().value();
  const FolderEntry file = Named(sub->List().value(), "a.txt").value();
  EXPECT_EQ(file.size, 9u);
  EXPECT_EQ(file.fileId, fileInfo.identity.fileIndex);
  EXPECT_EQ(file.lastWrite, 0x01D0000000000000u);

  // The held folder's parent renamed and another tree made at the old path: the handle still
  // leads to its own folder.
  top.reset();
  if (!::MoveFileW(Utf8ToWide(folder.File("outer")).c_str(),
                   Utf8ToWide(folder.File("moved")).c_str())) {
    GTEST_SKIP() << "Windows renames no folder with open entries";
  }
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("outer")).c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("outer\\sub")).c_str(), nullptr));
  WriteBytes(folder.File("outer\\sub\\a.txt"), "decoy decoy");
  char bytes[16] = {};
  const size_t got = Must(sub->Open("a.txt", OpenAs::kFile))->Read(5, bytes, sizeof bytes).value();
  EXPECT_EQ(std::string(bytes, got), "beta");
}

TEST_F(FileHandleWinTest, RefusalsCarryWindowsCodes) {
  if (!RunningUnderWine()) GTEST_SKIP() << "makes Unix links";
  WriteBytes(folder.File("f"), "x");
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("d")).c_str(), nullptr));
  const std::vector<std::string> links = {folder.File("link"), folder.File("gone")};
  // The folder's own cleanup cannot see a link that leads nowhere.
  const ScopeExit unlink([&] { Shell("rm -f \"$1\" \"$2\"", links); });
  ASSERT_EQ(Shell("ln -s \"$3\" \"$1\" && ln -s /nonexistent \"$2\"",
                  {links[0], links[1], folder.File("d")}),
            "");
  auto top = Must(files.OpenPath(folder.path(), OpenAs::kFolder));
  auto made = Must(files.OpenPath(folder.path(), OpenAs::kNewFolder));
  struct Case {
    const char* name;
    std::optional<OpenAs> open;  // otherwise created as a file
    uint32_t code;
  };
  const Case cases[] = {
      {"missing", OpenAs::kFile, ERROR_FILE_NOT_FOUND},
      {"f", OpenAs::kFolder, ERROR_DIRECTORY},
      {"d", OpenAs::kFile, ERROR_ACCESS_DENIED},
      {"d\\..\\..", OpenAs::kFolder, ERROR_INVALID_NAME},
      {"f:zone", OpenAs::kFile, ERROR_INVALID_NAME},
      {"f", std::nullopt, ERROR_FILE_EXISTS},
      {"d", std::nullopt, ERROR_FILE_EXISTS},
      {"link", std::nullopt, ERROR_FILE_EXISTS},
      {"gone", std::nullopt, ERROR_FILE_EXISTS},
  };
  for (const Case& c : cases) {
    const auto result = c.open ? top->Open(c.name, *c.open) : made->Create(c.name, false);
    ASSERT_FALSE(result.ok()) << c.name;
    EXPECT_EQ(result.error().code, c.code) << c.name;
  }
  EXPECT_EQ(files.OpenPath(folder.File("f"), OpenAs::kFolder).error().code, ERROR_DIRECTORY);
  EXPECT_EQ(Must(top->Open("f", OpenAs::kFile))->List().error().code, ERROR_DIRECTORY);
  EXPECT_TRUE(Must(files.OpenPath("C:\\", OpenAs::kFolder))->List().ok());

  // Wine shows a Unix link to a folder only in its folder's listing (it follows it on open).
  const std::vector<FolderEntry> listing = top->List().value();
  EXPECT_TRUE(Named(listing, "link")->IsLink());
  EXPECT_FALSE(Named(listing, "d")->IsLink());
}

TEST_F(FileHandleWinTest, DataTimesAndAttributesGoHandleToHandle) {
  const std::string source = folder.File("source.bin");
  std::string data;
  for (int i = 0; i < 300000; ++i) data += static_cast<char>(i * 7);
  WriteBytes(source, data);
  ::SetFileAttributesW(Utf8ToWide(source).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  auto top = Must(files.OpenPath(folder.path(), OpenAs::kNewFolder));
  auto from = Must(top->Open("source.bin", OpenAs::kFile));
  HandleInfo info = from->Info().value();
  info.times.lastWrite -= 10'000'000ull * 3600 * 24 * 400;  // older than the copy
  {
    auto to = Must(top->Create("copy.bin", false));
    std::vector<char> chunk(65536);
    uint64_t at = 0;
    while (const size_t got = from->Read(at, chunk.data(), chunk.size()).value()) {
      ASSERT_TRUE(to->Write(at, chunk.data(), got));
      at += got;
    }
    ASSERT_TRUE(to->SetBasics(info.attributes, info.times));
    // A time of 0 stays as it is.
    ASSERT_TRUE(to->SetBasics(info.attributes, FileTimes{}));
    EXPECT_TRUE(to->Streams().value().empty());  // Wine lists no streams
  }
  EXPECT_EQ(ReadBytes(folder.File("copy.bin")), data);
  const HandleInfo copied = Must(top->Open("copy.bin", OpenAs::kFile))->Info().value();
  const uint32_t kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
  EXPECT_EQ(copied.attributes & kept, kept);
  EXPECT_EQ(copied.times.lastWrite, info.times.lastWrite);
  for (const char* name : {"source.bin", "copy.bin"}) {
    ::SetFileAttributesW(Utf8ToWide(folder.File(name)).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(FileHandleWinTest, DeleteRemovesOnlyTheHandlesOwnFile) {
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("F")).c_str(), nullptr));
  auto top = Must(files.OpenPath(folder.File("F"), OpenAs::kNewFolder));
  auto plain = Must(top->Create("plain", false));
  auto renamed = Must(top->Create("t", false));
  ASSERT_TRUE(plain->SetBasics(FILE_ATTRIBUTE_READONLY, FileTimes{}));
  EXPECT_TRUE(plain->Delete());
  plain.reset();
  EXPECT_EQ(::GetFileAttributesW(Utf8ToWide(folder.File("F\\plain")).c_str()),
            INVALID_FILE_ATTRIBUTES);

  // The file's folder renamed, and another file made at the old name.
  top.reset();
  ASSERT_TRUE(
      ::MoveFileW(Utf8ToWide(folder.File("F")).c_str(), Utf8ToWide(folder.File("G")).c_str()));
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("F")).c_str(), nullptr));
  WriteBytes(folder.File("F\\t"), "other");
  EXPECT_TRUE(renamed->Delete());
  renamed.reset();
  EXPECT_EQ(ReadBytes(folder.File("F\\t")), "other");
  // Wine leaves the renamed file (it unlinks by the old name only while it leads to the file).
  if (!RunningUnderWine()) {
    EXPECT_EQ(ReadBytes(folder.File("G\\t")), "<missing>");
  }
}

// Wine keeps no access lists: it maps them onto the Unix mode. The Wine user belongs to
// Administrators, so their entries give the user and the group the same rights.
TEST_F(FileHandleWinTest, AccessListsReachTheUnixMode) {
  if (!RunningUnderWine()) GTEST_SKIP() << "reads Unix modes";
  const Ace everyoneReads{Ace::Kind::kAllow, Ace::kObjectInherit | Ace::kContainerInherit, 0x1200A9,
                          sid::kEveryone};
  std::vector<Ace> withEveryone = *AdministratorsOnly().dacl;
  withEveryone.push_back(everyoneReads);
  struct Case {
    bool folder;
    std::vector<Ace> entries;
    const char* mode;
  };
  const Case cases[] = {
      {true, *AdministratorsOnly().dacl, "770"},
      {true, withEveryone, "775"},
      {false, *AdministratorsOnly().dacl, "770"},
      {false, withEveryone, "775"},
  };
  auto top = Must(files.OpenPath(folder.path(), OpenAs::kNewFolder));
  ASSERT_EQ(Shell("stat -c %a \"$1\"", {folder.path()}), "755") << "others may read the parent";
  int count = 0;
  for (const Case& c : cases) {
    const std::string name = "n" + std::to_string(++count);
    auto made = Must(top->Create(name, c.folder));
    // The create call's own descriptor (less the umask): others get nothing from the start.
    EXPECT_EQ(Shell("stat -c %a \"$1\"", {folder.File(name)}).back(), '0') << name;
    ASSERT_TRUE(made->SetDacl(c.entries, true));
    EXPECT_EQ(Shell("stat -c %a \"$1\"", {folder.File(name)}), c.mode) << name;
    const Security read = made->ReadSecurity().value();
    EXPECT_EQ(read.ownerSid, files.ProcessUserSid().value());
    EXPECT_EQ(std::count_if(read.dacl->begin(), read.dacl->end(),
                            [](const Ace& entry) { return entry.sid == sid::kEveryone; }),
              c.entries.size() == withEveryone.size() ? 1 : 0);
  }
  EXPECT_TRUE(files.EnableRestorePrivilege());
  EXPECT_NE(files.AccountName(files.ProcessUserSid().value()).value().find('\\'),
            std::string::npos);
}

}  // namespace
}  // namespace dpc::win32
