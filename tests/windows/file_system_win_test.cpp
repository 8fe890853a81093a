#include <gtest/gtest.h>

#include <cstdlib>

#include <shobjidl.h>

#include "maintenance/copy_engine.h"
#include "maintenance/file_copy.h"
#include "adapter_test_support.h"
#include "platform/win32/clock_win.h"
#include "platform/win32/file_system_win.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::win32 {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

constexpr uint32_t kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

void MakeFile(const std::string& path, const std::string& bytes, DWORD attributes) {
  WriteBytes(path, bytes);
  ::SetFileAttributesW(Utf8ToWide(path).c_str(), attributes);
}

std::optional<FolderEntry> Named(const std::vector<FolderEntry>& entries, const std::string& name) {
  for (const FolderEntry& entry : entries) {
    if (entry.name == name) return entry;
  }
  return std::nullopt;
}

class FileSystemWinTest : public ::testing::Test {
 protected:
  TempFolder folder;
  FileSystemWin files;
};

TEST_F(FileSystemWinTest, ListsHiddenAndSystemEntriesWith64BitSizes) {
  MakeFile(folder.File("hidden.sys"), "hs", kHiddenSystem);
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File(".cache")).c_str(), nullptr));
  ASSERT_TRUE(files.SetAttributes(folder.File(".cache"), FILE_ATTRIBUTE_HIDDEN));
  // A sparse file: its size needs more than 32 bits, its content takes no room.
  {
    ScopedFileHandle big(::CreateFileW(Utf8ToWide(folder.File("big.bin")).c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, 0, nullptr));
    LARGE_INTEGER end{};
    end.QuadPart = 5ll << 30;
    ASSERT_TRUE(::SetFilePointerEx(big.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(big.get()));
  }
  const auto listing = files.OpenPath(folder.path(), OpenAs::kFolder).value()->List();
  ASSERT_TRUE(listing.ok()) << listing.error().code;
  ASSERT_EQ(listing->size(), 3u);
  EXPECT_EQ(Named(*listing, "hidden.sys")->attributes & kHiddenSystem, kHiddenSystem);
  EXPECT_TRUE(Named(*listing, ".cache")->IsFolder());
  EXPECT_EQ(Named(*listing, ".cache")->attributes & FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Named(*listing, "big.bin")->size, 5ull << 30);
  EXPECT_EQ(files.Stat(folder.File("big.bin"))->size, 5ull << 30);
  // A copy would take whole clusters of the drive, and one for each folder.
  const uint64_t cluster = files.ClusterSize(folder.path()[0]).value();
  ASSERT_GE(cluster, 512u);
  const TreeSize size = CopyEngine(files).FolderSize(folder.path(), {}, cluster);
  EXPECT_EQ(size.bytes, (5ull << 30) + 2);
  EXPECT_EQ(size.occupied, (5ull << 30) + 3 * cluster);
}

TEST_F(FileSystemWinTest, CopiesBeyond260CharactersAndNeverOverwrites) {
  std::string deep = folder.path();
  while (deep.size() < 300) {
    deep += "\\" + std::string(40, 'd');
    ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(deep).c_str(), nullptr));
  }
  auto into = std::move(files.OpenPath(deep, OpenAs::kNewFolder).value());
  const auto copyFrom = [&](const std::string& from) {
    auto source = std::move(files.OpenPath(from, OpenAs::kFolder).value());
    const FolderEntry entry = source->List().value().at(0);
    return CopyOneFile(*source, *into, entry, {});
  };
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("one")).c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(folder.File("two")).c_str(), nullptr));
  MakeFile(folder.File("one\\a.txt"), "alpha", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(folder.File("two\\a.txt"), "other", 0);
  EXPECT_EQ(copyFrom(folder.File("one")).kind, FileOutcome::Kind::Copied);
  const std::string target = deep + "\\a.txt";
  EXPECT_EQ(files.Stat(target)->attributes & FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(files.ReadFileBytes(target).value(), "alpha");
  EXPECT_EQ(copyFrom(folder.File("two")).kind, FileOutcome::Kind::Preexisting);
  EXPECT_EQ(files.ReadFileBytes(target).value(), "alpha");
}

TEST_F(FileSystemWinTest, FailuresCarryTheCodeAndTheApi) {
  const auto missing = files.OpenPath(folder.File("missing"), OpenAs::kFolder);
  EXPECT_EQ(missing.error().code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(missing.error().api, "CreateFileW");
  EXPECT_FALSE(missing.error().text.empty());
  EXPECT_TRUE(files.OpenPath(folder.path(), OpenAs::kFolder).value()->List()->empty());
}

TEST_F(FileSystemWinTest, TheTicketIsReplacedInOneStepOrKeepsItsContent) {
  const std::string ticket = folder.File("SYS_0000.xml");
  const std::string scratch = folder.File("SYS_0000.tmp");
  WriteBytes(ticket, "old");
  WriteBytes(scratch, "new");
  {
    // A reader that shares nothing holds the ticket.
    ScopedFileHandle reader(::CreateFileW(Utf8ToWide(ticket).c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    const OsStatus refused = files.ReplaceFileWith(scratch, ticket);
    ASSERT_FALSE(refused);
    const uint32_t code = refused.error().code;
    EXPECT_TRUE(code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) << code;
  }
  EXPECT_EQ(ReadBytes(ticket), "old");
  EXPECT_TRUE(files.ReplaceFileWith(scratch, ticket));
  EXPECT_EQ(ReadBytes(ticket), "new");
  EXPECT_EQ(ReadBytes(scratch), "<missing>");
  EXPECT_FALSE(files.ReplaceFileWith(scratch, ticket)) << "nothing left to move";
  // The swap that keeps the ticket's security leaves the old content at the backup name.
  const std::string backup = folder.File("SYS_0000.bak");
  WriteBytes(scratch, "newer");
  ASSERT_TRUE(files.ReplaceFileKeepingSecurity(scratch, ticket, backup));
  EXPECT_EQ(ReadBytes(ticket), "newer");
  EXPECT_EQ(ReadBytes(backup), "new");
  EXPECT_EQ(ReadBytes(scratch), "<missing>");
}

TEST_F(FileSystemWinTest, AppendCreatesTheFileThenAppends) {
  const std::string log = folder.File("control \xE2\x9C\x93.log");
  EXPECT_TRUE(files.AppendAnsiText(log, "first = start\r\n"));
  EXPECT_TRUE(files.AppendAnsiText(log, "second = end\r\n"));
  EXPECT_EQ(ReadBytes(log), "first = start\r\nsecond = end\r\n");
}

TEST_F(FileSystemWinTest, AppendStoresAnsiBytes) {
  if (::GetACP() != 1252) GTEST_SKIP() << "code page " << ::GetACP();
  const std::string log = folder.File("ansi.log");
  // é is stored as its one ANSI byte; ✓ has no ANSI form and the line keeps a '?' in its place.
  EXPECT_TRUE(files.AppendAnsiText(log, "caf\xC3\xA9 \xE2\x9C\x93\r\n"));
  EXPECT_EQ(ReadBytes(log), "caf\xE9 ?\r\n");
}

TEST_F(FileSystemWinTest, AppendFailsWhereTheFileCannotBeCreated) {
  EXPECT_FALSE(files.AppendAnsiText(folder.File("no such folder\\x.log"), "line\r\n"));
  EXPECT_FALSE(files.AppendAnsiText(folder.path(), "a folder is not a file\r\n"));
}

TEST_F(FileSystemWinTest, ExistsSizeAndRemoveSeeFilesNotFolders) {
  const std::string file = folder.File("\xE6\x9D\xB1\xE4\xBA\xAC.txt");
  WriteBytes(file, "12345");
  EXPECT_TRUE(files.FileExists(file).value());
  EXPECT_EQ(files.FileSize(file).value(), 5u);
  EXPECT_FALSE(files.FileExists(folder.path()).value());
  EXPECT_EQ(files.FileSize(folder.path()).error().code, static_cast<uint32_t>(ERROR_DIRECTORY));

  EXPECT_TRUE(files.RemoveFile(file));
  EXPECT_FALSE(files.FileExists(file).value());
  EXPECT_EQ(files.FileSize(file).error().code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  const OsStatus again = files.RemoveFile(file);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(again.error().api, "DeleteFileW");
}

// Each way of naming nothing reads "no file"; only a failure to look is an error.
TEST_F(FileSystemWinTest, ExistsAnswersNoForEveryPathThatNamesNothing) {
  const std::string file = folder.File("plain.txt");
  WriteBytes(file, "1");
  for (const std::string& path : {folder.File("gone.txt"), folder.File("no folder\\x.txt"),
                                  file + "\\x.txt", folder.File("bad<name>.txt")}) {
    const OsResult<bool> found = files.FileExists(path);
    ASSERT_TRUE(found) << path << ": " << found.error().code;
    EXPECT_FALSE(*found) << path;
  }
}

TEST_F(FileSystemWinTest, StampReportsSizeAndLastWriteTime) {
  const std::string file = folder.File("SYS_0000.xml");
  WriteBytes(file, "1031");
  // A rewrite of the same size shows only in the time.
  const uint64_t time = 0x01DA0000'12345678;
  const FILETIME written{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  const HANDLE handle = ::CreateFileW(Utf8ToWide(file).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(::SetFileTime(handle, nullptr, nullptr, &written));
  ::CloseHandle(handle);
  EXPECT_EQ(files.Stamp(file).value(), (FileStamp{4, time}));
  EXPECT_FALSE(files.Stamp(folder.path()));
  EXPECT_EQ(files.Stamp(folder.File("none.xml")).error().code,
            static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileSystemWinTest, IdentityAndLongNamesSeeThroughShortNamesAndLetterCase) {
  const std::string longFolder = folder.File("Server Data Folder");
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(longFolder).c_str(), nullptr));
  wchar_t shortName[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(Utf8ToWide(longFolder).c_str(), shortName, MAX_PATH), 0u);
  const std::string shortFolder = WideToUtf8(shortName);
  ASSERT_NE(shortFolder, longFolder);

  EXPECT_EQ(files.LongPathName(shortFolder).value(), longFolder);
  const FileIdentity identity = files.Identity(longFolder).value();
  EXPECT_EQ(files.Identity(shortFolder).value(), identity);
  EXPECT_EQ(files.Identity(folder.File("SERVER DATA FOLDER")).value(), identity);
  EXPECT_FALSE(files.Identity(folder.path()).value() == identity);
  EXPECT_FALSE(files.Identity(folder.File("nothing")).ok());
}

// A small drive (a tmpfs linked as a drive letter) named by DPC_SMALL_DRIVE, e.g. "S:".
TEST_F(FileSystemWinTest, ACopyThatDoesNotFitFailsWithDiskFullAndLeavesNothing) {
  const char* drive = std::getenv("DPC_SMALL_DRIVE");
  if (drive == nullptr) GTEST_SKIP() << "no small drive";
  const std::string target = std::string(drive) + "\\big.bin";
  const DriveSpace space = files.FreeSpace(drive[0]).value();
  {
    ScopedFileHandle big(::CreateFileW(Utf8ToWide(folder.File("big.bin")).c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, 0, nullptr));
    std::string chunk(1 << 20, 'x');
    for (uint64_t written = 0; written <= space.freeToCaller; written += chunk.size()) {
      DWORD done = 0;
      ASSERT_TRUE(
          ::WriteFile(big.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &done, nullptr));
    }
  }
  auto source = std::move(files.OpenPath(folder.path(), OpenAs::kFolder).value());
  auto small = std::move(files.OpenPath(std::string(drive) + "\\", OpenAs::kNewFolder).value());
  const FileOutcome copied = CopyOneFile(*source, *small, source->List().value().at(0), {});
  ASSERT_EQ(copied.kind, FileOutcome::Kind::Failed);
  EXPECT_EQ(copied.error->code, static_cast<uint32_t>(ERROR_DISK_FULL));
  EXPECT_FALSE(files.Stat(target).ok()) << "the half-made copy goes";
}

// The shell flags an item for the bin, or deletes it for good: the sink lets only the first go.
TEST(RecycleOnlySinkTest, RefusesEveryDeletionNotBoundForTheBin) {
  const std::pair<unsigned long, long> cases[] = {
      {0, E_ABORT},
      {TSF_DELETE_RECYCLE_IF_POSSIBLE, S_OK},
      {TSF_DELETE_RECYCLE_IF_POSSIBLE | TSF_OVERWRITE_EXIST, S_OK},
      {TSF_OVERWRITE_EXIST, E_ABORT},
  };
  for (const auto& [flags, answer] : cases) {
    auto sink = MakeRecycleOnlySink();
    EXPECT_EQ(SinkPreDeleteItem(*sink, flags), answer) << flags;
    EXPECT_EQ(SinkRefused(*sink), answer != S_OK) << flags;
  }
}

TEST(AnsiCodePageWinTest, OnlyExactFormsCount) {
  AnsiCodePageWin codePage;
  if (codePage.Identifier() != 1252) GTEST_SKIP() << "code page " << codePage.Identifier();
  EXPECT_EQ(codePage.FromUtf8("D:\\M\xC3\xBCller").value(), "D:\\M\xFCller");
  EXPECT_EQ(codePage.ToUtf8("D:\\M\xFCller").value(), "D:\\M\xC3\xBCller");
  EXPECT_FALSE(codePage.FromUtf8("D:\\\xE6\x9D\xB1"));
  EXPECT_FALSE(codePage.FromUtf8("D:\\\xC5\x82"));
  EXPECT_FALSE(codePage.FromUtf8("D:\\bad\xC3"));
  // Another code page, as a ticket declares it; 0 names the system's own, no code page.
  EXPECT_EQ(codePage.Encode(28591, "Auftr\xC3\xA4ge"), "Auftr\xE4ge");
  EXPECT_EQ(codePage.Encode(1252, "\xE2\x82\xAC"), "\x80");
  EXPECT_EQ(codePage.Encode(65001, "\xE2\x82\xAC"), "\xE2\x82\xAC");
  for (uint32_t refused : {28591u, 0u, 12345u})
    EXPECT_FALSE(codePage.Encode(refused, "\xE2\x82\xAC")) << refused;
}

}  // namespace
}  // namespace dpc::win32
