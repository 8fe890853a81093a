#pragma once

// One run of the real DurvinProofControl.exe for the end-to-end tests: a private copy in a fresh
// folder (the controller writes its log beside itself and reads its settings from there), started
// with chosen arguments, watched and closed from outside the way Windows would.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/host_window.h"
#include "app/status_query.h"

namespace dpc::e2e {

using namespace std::chrono_literals;

// Title of the controller's hidden main window, and of its message boxes.
inline constexpr wchar_t kMainWindowTitle[] = L"Kelvra Vistrane Tarn Control";
inline constexpr wchar_t kApplicationTitle[] = L"Durvin Proof Control";

// The built controller and stand-in service (Windows paths); the environment variables
// DPC_CONTROLLER_EXE and DPC_STANDIN_EXE override the paths compiled in.
std::wstring ControllerExecutable();
std::wstring StandInExecutable();

// Polls the predicate every 50 ms until it holds or the bound passes.
template <typename Predicate>
bool Eventually(std::chrono::milliseconds bound, Predicate predicate) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    if (predicate()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
}

// What the controller's window answers to the status query; nullopt when it does not answer.
std::optional<LRESULT> AskStatus(HWND window, app::StatusQuery what);
// What it answers to the text query, UTF-8; nullopt when it does not answer.
std::optional<std::string> AskText(HWND window, TextQuery what, unsigned index = 0);

class ControllerProcess {
 public:
  ControllerProcess();
  ~ControllerProcess();  // terminates the process if it still runs, removes the folder
  ControllerProcess(const ControllerProcess&) = delete;
  ControllerProcess& operator=(const ControllerProcess&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path executable() const { return folder_ / L"DurvinProofControl.exe"; }

  // Copies the controller into the folder and starts it with `arguments` (after the program
  // name), in `currentFolder` (default: its own folder); false with a reason in lastError() when
  // either fails.
  bool Start(const std::wstring& arguments, const std::filesystem::path& currentFolder = {});
  bool IsRunning() const;
  // True when the process has ended within the bound.
  bool WaitForExit(std::chrono::milliseconds bound) const;
  DWORD ExitCode() const;
  void Terminate();

  // The process's top-level window titled kMainWindowTitle (or of that class), polled until the
  // bound passes; nullptr if none appears.
  HWND WaitForMainWindow(std::chrono::milliseconds bound) const;
  // PostMessage(WM_CLOSE) to the main window.
  bool PostClose(std::chrono::milliseconds findBound = 10s) const;
  // Whether the window's thread answers a sent WM_NULL within the bound (not hung).
  static bool Answers(HWND window, std::chrono::milliseconds bound);

  // A top-level window of this process of the given class, polled; nullptr if none appears.
  HWND WaitForWindowOfClass(const wchar_t* className, std::chrono::milliseconds bound) const;
  // A message box (dialog class #32770) of this process with the given title, polled.
  HWND WaitForMessageBox(const std::wstring& title, std::chrono::milliseconds bound) const;
  // The texts of the box's static controls, joined by line breaks (the message itself; the icon
  // has none).
  static std::wstring MessageBoxText(HWND box);
  // Presses the box's OK (IDOK), which every box of the controller has.
  static void CloseMessageBox(HWND box);

  const std::wstring& lastError() const { return lastError_; }

 private:
  HWND FindTopLevel(const wchar_t* className, const wchar_t* title) const;

  std::filesystem::path folder_;
  PROCESS_INFORMATION process_{};
  std::wstring lastError_;
};

}  // namespace dpc::e2e
