#include <gtest/gtest.h>

// <windows.h> comes first: the adapter's header takes back the DeleteFile name from its macro.
#include "adapter_test_support.h"
#include "platform/win32/files_win.h"

namespace dpc::win32 {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class FileSystemWinTest : public ::testing::Test {
 protected:
  TempFolder folder;
  FileSystemWin files;
};

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

TEST_F(FileSystemWinTest, ExistsSizeAndDeleteSeeFilesNotFolders) {
  const std::string file = folder.File("\xE6\x9D\xB1\xE4\xBA\xAC.txt");
  WriteBytes(file, "12345");
  EXPECT_TRUE(files.FileExists(file));
  EXPECT_EQ(files.FileSize(file).value(), 5u);
  EXPECT_FALSE(files.FileExists(folder.path()));
  EXPECT_EQ(files.FileSize(folder.path()).error().code, static_cast<uint32_t>(ERROR_DIRECTORY));

  EXPECT_TRUE(files.DeleteFile(file));
  EXPECT_FALSE(files.FileExists(file));
  EXPECT_EQ(files.FileSize(file).error().code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  const OsStatus again = files.DeleteFile(file);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(again.error().api, "DeleteFileW");
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

TEST_F(FileSystemWinTest, MoveReplacesAnExistingTarget) {
  const std::string from = folder.File("SYS_0000.tmp");
  const std::string to = folder.File("SYS_0000.xml");
  WriteBytes(from, "new");
  WriteBytes(to, "old content");
  EXPECT_TRUE(files.MoveFileReplacing(from, to));
  EXPECT_FALSE(files.FileExists(from));
  EXPECT_EQ(ReadBytes(to), "new");
  EXPECT_FALSE(files.MoveFileReplacing(from, to));
}

class ProfileStoreWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(ini, "[Control]\r\nHideUpdater =   1   \r\nEmpty=\r\n[Product]\r\nVersion=5.0\r\n");
  }
  TempFolder folder;
  const std::string ini = folder.File("Durvin \xE2\x9C\x93.ini");
  ProfileStoreWin profiles;
};

TEST_F(ProfileStoreWinTest, ReadsValuesTrimmedAndNamesWithoutCase) {
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"Control", "HideUpdater", "1"}, {"control", "HIDEUPDATER", "1"},
      {"Product", "Version", "5.0"},   {"Control", "Empty", ""},
      {"Control", "Missing", "dflt"},  {"Missing", "HideUpdater", "dflt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(profiles.ReadString(ini, c.section, c.key, "dflt"), c.expected);
  }
}

TEST_F(ProfileStoreWinTest, MissingFileGivesTheFallback) {
  EXPECT_EQ(profiles.ReadString(folder.File("none.ini"), "Control", "HideUpdater", "0"), "0");
}

TEST_F(ProfileStoreWinTest, WrittenValuesReadBack) {
  EXPECT_TRUE(profiles.WriteString(ini, "Feedback", "Due", "1234567890"));
  EXPECT_EQ(profiles.ReadString(ini, "FEEDBACK", "due", ""), "1234567890");
  EXPECT_EQ(profiles.ReadString(ini, "Control", "HideUpdater", ""), "1");

  const std::string fresh = folder.File("fresh.ini");
  EXPECT_TRUE(profiles.WriteString(fresh, "S", "K", "v"));
  EXPECT_EQ(profiles.ReadString(fresh, "S", "K", ""), "v");
}

TEST_F(ProfileStoreWinTest, LongValuesAreNotCut) {
  const std::string longValue(5000, 'x');
  ASSERT_TRUE(profiles.WriteString(ini, "Control", "Long", longValue));
  EXPECT_EQ(profiles.ReadString(ini, "Control", "Long", ""), longValue);
}

TEST_F(ProfileStoreWinTest, WriteFailsInAMissingFolder) {
  EXPECT_FALSE(profiles.WriteString(folder.File("no such folder\\x.ini"), "S", "K", "v"));
}

}  // namespace
}  // namespace dpc::win32
