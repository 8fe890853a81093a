#include "shell/control_log.h"

#include <gtest/gtest.h>

#include "fakes/fake_file_system.h"

namespace dpc {
namespace {

constexpr char kLog[] = "C:\\Durvin\\DurvinProofControl.log";
constexpr char kRotated[] = "C:\\Durvin\\DurvinProofControl.log.1";

TEST(ControlLog, WritesCrLfLinesDropsFailuresAndResetDeletesBothFiles) {
  test::FakeFileSystem files;
  files.AddFile(kRotated, "older = run\r\n");
  ControlLog log(files, kLog);
  log.Write("07.12.2026 12:00:00 Timer1Timer", "start");
  log.Write("No ServerRestart", "");
  EXPECT_EQ(files.Content(kLog),
            "07.12.2026 12:00:00 Timer1Timer = start\r\nNo ServerRestart = \r\n");

  log.Reset();
  EXPECT_TRUE(files.FilesBelow("C:\\Durvin").empty());
  files.unwritable.insert(kLog);
  EXPECT_NO_THROW(log.Write("key", "value"));
  EXPECT_TRUE(files.FilesBelow("C:\\Durvin").empty());
}

TEST(ControlLog, RotatesOnceTheLogPassesItsLimitEvenWhenAnotherWriterFilledIt) {
  test::FakeFileSystem files;
  files.AddFile(kLog, "first = line\r\n", 0, ControlLog::kRotateBytes - 20);
  ControlLog log(files, kLog);
  log.Write("second", "line");  // still below the limit
  EXPECT_FALSE(files.Exists(kRotated));
  log.Write("third", "line");
  EXPECT_EQ(files.Content(kRotated), "first = line\r\nsecond = line\r\n");
  EXPECT_EQ(files.Content(kLog), "third = line\r\n");

  // A second controller filled the new log.
  files.AddFile(kLog, files.Content(kLog), 0, ControlLog::kRotateBytes);
  log.Write("big", std::string(ControlLog::kRecheckBytes, 'x'));
  log.Write("next", "line");
  EXPECT_EQ(files.Content(kLog), "next = line\r\n");
}

}  // namespace
}  // namespace dpc
