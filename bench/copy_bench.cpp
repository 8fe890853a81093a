// Times the folder copy engine on a real tree with the real adapters: the measure, the copy and
// the verification of a folder move, in that order, as one row of the maintenance dialog runs
// them (messages are processed between entries; nothing is deleted).
//
//   copy_bench.exe SOURCE DESTINATION [--no-pump]
//
// DESTINATION must not exist yet. --no-pump leaves out the message processing, to show its cost.
// Prints the tree's files and bytes and the seconds of each step on one line. Exit code 0 when the
// copy verified, 1 when it did not, 2 on bad arguments.
#include <cstdio>
#include <string>

#include "maintenance/copy_engine.h"
#include "platform/win32/clock_win.h"
#include "platform/win32/folders_win.h"
#include "platform/win32/message_pump_win.h"
#include "platform/win32/text.h"

#include <windows.h>

namespace {

class NoPump final : public dpc::MessagePump {
 public:
  void ProcessPendingMessages() override {}
};

class CountingView final : public dpc::ProgressView {
 public:
  void Open(const std::string&) override {}
  void SetFileTotal(int64_t) override {}
  void StepFile() override { ++steps; }
  void ShowPhase(const std::string&) override {}
  bool Cancelled() override { return false; }
  void Close() override {}
  int64_t steps = 0;
};

double Seconds() {
  LARGE_INTEGER frequency{}, now{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool pumping = !(argc == 4 && std::wstring(argv[3]) == L"--no-pump");
  if (argc != 3 && pumping) {
    std::fprintf(stderr, "usage: copy_bench.exe SOURCE DESTINATION [--no-pump]\n");
    return 2;
  }
  const std::string source = dpc::win32::WideToUtf8(argv[1]);
  const std::string destination = dpc::win32::WideToUtf8(argv[2]);
  dpc::win32::FolderFileSystemWin files;
  dpc::win32::MessagePumpWin windowsPump;
  NoPump noPump;
  dpc::win32::ClockWin clock;
  dpc::CopyEngine engine(files, pumping ? static_cast<dpc::MessagePump&>(windowsPump) : noPump,
                         clock);
  CountingView view;

  const double start = Seconds();
  const dpc::TreeSize size = engine.FolderSize(source);
  const double measured = Seconds();
  const dpc::CopyReport copy = engine.CopyFolderTree(source, destination, view, {});
  const double copied = Seconds();
  const dpc::VerifyReport verify = engine.VerifyCopy(source, destination, copy, {});
  const double verified = Seconds();

  std::printf(
      "files %lld bytes %llu measure %.3f s copy %.3f s verify %.3f s copy+verify %.3f s "
      "problems %lld\n",
      static_cast<long long>(size.files), static_cast<unsigned long long>(size.bytes),
      measured - start, copied - measured, verified - copied, verified - measured,
      static_cast<long long>(size.problems.count() + verify.problems.count()));
  const bool complete = size.problems.empty() && verify.problems.empty() && copy.failed.empty() &&
                        view.steps == size.files;
  return complete ? 0 : 1;
}
