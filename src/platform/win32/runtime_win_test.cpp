// The process, clock, message, thread, library, shell and desktop adapters against the real system.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

#include "adapter_test_support.h"
#include "platform/win32/clock_win.h"
#include "platform/win32/desktop_win.h"
#include "platform/win32/file_system_win.h"
#include "platform/win32/library_loader_win.h"
#include "platform/win32/process_win.h"
#include "platform/win32/shell_win.h"
#include "platform/win32/text.h"
#include "platform/win32/worker_threads_win.h"

namespace dpc::win32 {
namespace {

using testing::RunningUnderWine;
using testing::TempFolder;

TEST(ProcessInfoWin, IntegrityAndVersion) {
  ProcessInfoWin process;
  const OsResult<uint32_t> read = process.QueryIntegrityRid();
  ASSERT_TRUE(read) << read.error().api << " " << read.error().code;
  const uint32_t rid = *read;
  if (RunningUnderWine()) {
    EXPECT_EQ(rid, 0x3000u);
  } else {
    EXPECT_TRUE(rid == 0x1000 || rid == 0x2000 || rid == 0x3000 || rid == 0x4000) << rid;
  }
  // Without a manifest naming Windows 10, GetVersionEx stops at 6.x.
  EXPECT_EQ(*process.OsMajorVersion(), 6u);
}

TEST(ProcessInfoWin, ExecutablePathAndArgumentsWithoutProgramName) {
  ProcessInfoWin process;
  const OsResult<std::string> found = process.ExecutablePath();
  ASSERT_TRUE(found) << found.error().api;
  const std::string& path = *found;
  EXPECT_TRUE(path.ends_with("win32_adapter_tests.exe")) << path;
  EXPECT_TRUE(FileSystemWin().FileExists(path).value());
  // The C runtime splits the same command line on its own; the counts must agree.
  const auto arguments = process.Arguments();
  ASSERT_TRUE(arguments);
  EXPECT_EQ(arguments->size(), static_cast<size_t>(__argc - 1));
}

TEST(ClockWin, FormatsAsTheSystemDoesForTheSameMoment) {
  ClockWin clock;
  const LocalDateTime now = clock.Now();
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(now.year);
  time.wMonth = static_cast<WORD>(now.month);
  time.wDay = static_cast<WORD>(now.day);
  time.wHour = static_cast<WORD>(now.hour);
  time.wMinute = static_cast<WORD>(now.minute);
  time.wSecond = static_cast<WORD>(now.second);
  wchar_t expected[128] = {};
  ASSERT_GT(::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, expected, 128), 0);
  EXPECT_EQ(*clock.FormatLongTime(now), WideToUtf8(expected));
  ASSERT_GT(::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, expected,
                              128, nullptr),
            0);
  EXPECT_EQ(*clock.FormatShortDate(now), WideToUtf8(expected));

  LocalDateTime afternoon = now;
  afternoon.hour = 15;
  afternoon.minute = 4;
  afternoon.second = 5;
  const std::string text = *clock.FormatLongTime(afternoon);
  EXPECT_NE(text.find("04"), std::string::npos) << text;
  EXPECT_NE(text.find("05"), std::string::npos) << text;
}

TEST(ClockWin, RejectedMomentGivesTheSystemsError) {
  ClockWin clock;
  const OsResult<std::string> time = clock.FormatLongTime({2024, 1, 1, 25, 0, 0, 0, 0});
  const OsResult<std::string> date = clock.FormatShortDate({2024, 13, 1, 0, 0, 0, 0, 0});
  ASSERT_FALSE(time);
  ASSERT_FALSE(date);
  EXPECT_EQ(time.error().api, "GetTimeFormatEx");
  EXPECT_EQ(date.error().api, "GetDateFormatEx");
  EXPECT_NE(time.error().code, 0u);
}

TEST(WorkerThreadsWin, RunsWorkElsewhereAndSurvivesItsExceptions) {
  WorkerThreadsWin threads;
  // The throwing work is released only after its exception was caught; waiting for that keeps
  // the test from ending the process while the thread is still unwinding, which terminates it.
  std::promise<void> released;
  std::future<void> failedWorkDone = released.get_future();
  auto guard =
      std::shared_ptr<std::promise<void>>(&released, [](std::promise<void>* p) { p->set_value(); });
  ASSERT_TRUE(threads.StartDetached(
      [guard = std::move(guard)] { throw std::runtime_error("worker failure"); }));
  ASSERT_EQ(failedWorkDone.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  std::promise<std::thread::id> ran;
  std::future<std::thread::id> id = ran.get_future();
  ASSERT_TRUE(threads.StartDetached([&ran] { ran.set_value(std::this_thread::get_id()); }));
  ASSERT_EQ(id.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_NE(id.get(), std::this_thread::get_id());
}

TEST(LibraryLoaderWin, LoadsLibrariesAndFindsExports) {
  LibraryLoaderWin loader;
  const auto missing = loader.Load("no-such-library-dpc.dll");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(missing.error().api, "LoadLibraryExW");
  auto loaded = loader.Load("kernel32.dll");
  ASSERT_TRUE(loaded);
  std::unique_ptr<DynamicLibrary> kernel = std::move(*loaded);
  ASSERT_NE(kernel, nullptr);
  EXPECT_TRUE(kernel->Symbol("GetTickCount64"));
  const auto none = kernel->Symbol("NoSuchExportDpc");
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().code, static_cast<uint32_t>(ERROR_PROC_NOT_FOUND));
  EXPECT_FALSE(kernel->Symbol(nullptr));
}

TEST(ShellWin, WinExecStartsProgramsOutsideTheAnsiCodePage) {
  // A copy of this test program in a folder whose name has no ANSI form, asked to write its test
  // list to a file: the file appearing proves the program started with its arguments intact. The
  // report goes to an ASCII folder because the copy's own runtime opens it by ANSI name.
  TempFolder folder;
  TempFolder reportFolder(TempFolder::Name::Ascii);
  const std::string copy = folder.File("copy \xE6\x9D\xB1\xE4\xBA\xAC.exe");
  ASSERT_TRUE(::CopyFileW(Utf8ToWide(*ProcessInfoWin().ExecutablePath()).c_str(),
                          Utf8ToWide(copy).c_str(), FALSE));
  const std::string report = reportFolder.File("list.xml");
  ShellWin shell;
  EXPECT_TRUE(
      shell.WinExec("\"" + copy + "\" --gtest_list_tests \"--gtest_output=xml:" + report + "\"",
                    ShowMode::Hide, folder.path()));

  FileSystemWin files;
  const auto exists = [&] { return files.FileExists(report).value(); };
  for (int i = 0; i < 200 && !exists(); ++i) ::Sleep(50);
  EXPECT_TRUE(exists());
  // The copy must have ended before the folder can go.
  for (int i = 0; i < 100 && !files.RemoveFile(copy).ok(); ++i) ::Sleep(50);
}

TEST(ShellWin, FailuresReportTheSystemsCode) {
  ShellWin shell;
  TempFolder folder;
  const std::string missing = folder.File("missing.exe");
  ShellExecuteRequest request;
  request.file = missing;
  const struct {
    const char* api;
    OsStatus status;
  } cases[] = {
      {"CreateProcessW", shell.WinExec("\"" + missing + "\"", ShowMode::Show, folder.path())},
      {"ShellExecuteExW", shell.ExecuteEx(request)},
      {"ShellExecuteW", shell.Execute(kNoWindow, "", missing, "", "", ShowMode::Normal)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.api);
    ASSERT_FALSE(c.status);
    EXPECT_EQ(c.status.error().code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(c.status.error().api, c.api);
    EXPECT_FALSE(c.status.error().text.empty());
  }
}

TEST(ShellWin, SpecialFolders) {
  ShellWin shell;
  const OsResult<std::string> found = shell.SpecialFolderPath(SpecialFolder::CommonAppData);
  ASSERT_TRUE(found);
  const std::string common = *found;
  const DWORD attributes = ::GetFileAttributesW(Utf8ToWide(common).c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  if (RunningUnderWine()) {
    EXPECT_EQ(common, "C:\\ProgramData");
  }
  const OsResult<std::string> system = shell.SpecialFolderPath(SpecialFolder::System);
  ASSERT_TRUE(system);
  EXPECT_NE(::GetFileAttributesW(Utf8ToWide(*system + "\\kernel32.dll").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST(DesktopWin, FindsTopLevelWindowsByExactTitle) {
  const std::string title =
      "Durvin \xE2\x9C\x93 test window " + std::to_string(::GetCurrentProcessId());
  DesktopWin desktop;
  EXPECT_FALSE(desktop.TopLevelWindowExists(title).value());
  HWND window = ::CreateWindowExW(0, L"STATIC", Utf8ToWide(title).c_str(), WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr && ::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
    GTEST_SKIP() << "no display to create a window on";
  }
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(desktop.TopLevelWindowExists(title).value());
  EXPECT_FALSE(desktop.TopLevelWindowExists(title + " ").value());
  ::DestroyWindow(window);
  EXPECT_FALSE(desktop.TopLevelWindowExists(title).value());
}

}  // namespace
}  // namespace dpc::win32
