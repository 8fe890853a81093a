#include "shell/control_log.h"

#include <gtest/gtest.h>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

constexpr char kLog[] = "C:\\Durvin\\DurvinProofControl.log";
constexpr char kRotated[] = "C:\\Durvin\\DurvinProofControl.log.1";

TEST(ControlLog, WritesKeyEqualsValueLinesEndingInCrLf) {
  test::FakeFileSystem files;
  ControlLog log(files, kLog);
  log.Write("07.12.2026 12:00:00 Timer1Timer", "start");
  log.Write("No ServerRestart", "");
  EXPECT_EQ(files.files[kLog],
            "07.12.2026 12:00:00 Timer1Timer = start\r\n"
            "No ServerRestart = \r\n");
}

TEST(ControlLog, UnwritableLogIsSilent) {
  test::FakeFileSystem files;
  files.unwritable.insert(kLog);
  ControlLog log(files, kLog);
  EXPECT_NO_THROW(log.Write("key", "value"));
  EXPECT_EQ(files.files.count(kLog), 0u);
}

TEST(ControlLog, ResetDeletesTheLogAndItsPredecessor) {
  test::FakeFileSystem files;
  files.files[kLog] = "old = run\r\n";
  files.files[kRotated] = "older = run\r\n";
  ControlLog log(files, kLog);
  log.Reset();
  EXPECT_TRUE(files.files.empty());
  log.Write("new", "run");
  EXPECT_EQ(files.files[kLog], "new = run\r\n");
}

TEST(ControlLog, RotatesOnceTheLogPassesItsLimit) {
  test::FakeFileSystem files;
  files.files[kLog] = "first = line\r\n";
  files.padding[kLog] = ControlLog::kRotateBytes - 20;
  ControlLog log(files, kLog);

  log.Write("second", "line");  // still below the limit: appended
  EXPECT_EQ(files.files.count(kRotated), 0u);
  log.Write("third", "line");  // the log has passed the limit: rotated first
  EXPECT_EQ(files.files[kRotated], "first = line\r\nsecond = line\r\n");
  EXPECT_EQ(files.files[kLog], "third = line\r\n");
}

TEST(ControlLog, NoticesGrowthFromAnotherWriterAfterARecheck) {
  test::FakeFileSystem files;
  ControlLog log(files, kLog);
  log.Write("a", "b");
  files.padding[kLog] = ControlLog::kRotateBytes;  // another controller filled the log
  const std::string value(ControlLog::kRecheckBytes, 'x');
  log.Write("big", value);  // our own estimate is still small
  EXPECT_EQ(files.files.count(kRotated), 0u);
  log.Write("next", "line");
  EXPECT_EQ(files.files.count(kRotated), 1u);
  EXPECT_EQ(files.files[kLog], "next = line\r\n");
}

TEST(ControlLog, ResetForgetsTheSizeOfTheDeletedLog) {
  test::FakeFileSystem files;
  files.files[kLog] = "x = y\r\n";
  files.padding[kLog] = ControlLog::kRotateBytes - 10;
  ControlLog log(files, kLog);
  log.Write("a", "b");  // learns the big size
  log.Reset();
  files.padding.clear();
  log.Write("c", "d");
  log.Write("e", "f");
  EXPECT_EQ(files.files.count(kRotated), 0u);
  EXPECT_EQ(files.files[kLog], "c = d\r\ne = f\r\n");
}

}  // namespace
}  // namespace dpc
