#include "shell/control_log.h"

#include <gtest/gtest.h>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

constexpr char kLog[] = "C:\\Durvin\\DurvinProofControl.log";
constexpr char kRotated[] = "C:\\Durvin\\DurvinProofControl.log.1";

TEST(ControlLog, WritesCrLfLinesDropsFailuresAndResetDeletesBothFiles) {
  test::FakeFileSystem files;
  files.files[kRotated] = "older = run\r\n";
  ControlLog log(files, kLog);
  log.Write("07.12.2026 12:00:00 Timer1Timer", "start");
  log.Write("No ServerRestart", "");
  EXPECT_EQ(files.files[kLog],
            "07.12.2026 12:00:00 Timer1Timer = start\r\nNo ServerRestart = \r\n");

  log.Reset();
  EXPECT_TRUE(files.files.empty());
  files.unwritable.insert(kLog);
  EXPECT_NO_THROW(log.Write("key", "value"));
  EXPECT_TRUE(files.files.empty());
}

TEST(ControlLog, RotatesOnceTheLogPassesItsLimitEvenWhenAnotherWriterFilledIt) {
  test::FakeFileSystem files;
  files.files[kLog] = "first = line\r\n";
  files.padding[kLog] = ControlLog::kRotateBytes - 20;
  ControlLog log(files, kLog);
  log.Write("second", "line");  // still below the limit
  EXPECT_EQ(files.files.count(kRotated), 0u);
  log.Write("third", "line");
  EXPECT_EQ(files.files[kRotated], "first = line\r\nsecond = line\r\n");
  EXPECT_EQ(files.files[kLog], "third = line\r\n");

  files.padding[kLog] = ControlLog::kRotateBytes;  // a second controller filled the new log
  log.Write("big", std::string(ControlLog::kRecheckBytes, 'x'));
  log.Write("next", "line");
  EXPECT_EQ(files.files[kLog], "next = line\r\n");
}

}  // namespace
}  // namespace dpc
