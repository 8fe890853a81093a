#include "launchers/launchers.h"

#include <algorithm>
#include <exception>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/program_start.h"

namespace dpc {

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

bool IsWebAddress(std::string_view address) {
  std::string_view rest;
  if (StartsWithIgnoringAsciiCase(address, "http://")) {
    rest = address.substr(7);
  } else if (StartsWithIgnoringAsciiCase(address, "https://")) {
    rest = address.substr(8);
  } else {
    return false;
  }
  if (rest.empty() || rest.front() == '/') return false;  // no host
  return std::none_of(address.begin(), address.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || c == '"' || c == '<' || c == '>' || c == '`';
  });
}

Launchers::Launchers(Shell& shell, Desktop& desktop, const Translator& translator)
    : shell_(shell), desktop_(desktop), translator_(translator) {}

// The results of WinExec and ShellExecute are ignored throughout: a launcher reports nothing,
// and a missing program simply does not start.

void Launchers::StartOnlineUpdater(const std::string& controllerFolder) {
  // Quoted, so a folder with a space stays one path.
  (void)shell_.WinExec(Quoted(controllerFolder + "Updater.exe"), ShowMode::Show, controllerFolder);
}

void Launchers::StartProfileUpdater(const std::string& controllerFolder) {
  // The trailing space is part of the command line the profile updater has always received.
  (void)shell_.WinExec(Quoted(controllerFolder + "ProfileUpdater.exe") + " ", ShowMode::Show,
                       controllerFolder);
}

void Launchers::StartOfflineUpdate(WindowId owner) {
  // Unlike a program that does not start, a dialog that does not open is the operator's request
  // failing before anything ran: it goes to the handler's error box.
  const std::optional<std::string> chosen = ValueOrRaise(desktop_.ChooseFileToOpen(
      owner, "c:\\", translator_.Translate("Start Kelvra Tarn Offline Update"),
      translator_.Translate("Kelvra Tarn Update (*.exe)|*.exe")));
  if (!chosen) return;
  // Quoted: unquoted, "D:\Offline Update.exe" would run a "D:\Offline.exe" planted beside it,
  // in a process that may be elevated.
  (void)shell_.WinExec(Quoted(*chosen), ShowMode::Show, FolderOf(*chosen));
}

std::string Launchers::SystemFolder() {
  const OsResult<std::string> found = shell_.SpecialFolderPath(SpecialFolder::System);
  if (!found) return {};
  std::string folder = *found;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

void Launchers::OpenServicesConsole() {
  // By full path: a bare "services.msc" is looked for in the current folder first. A 32-bit
  // controller on 64-bit Windows names System32 as the system gives it to this process, not
  // Sysnative: the shell starts mmc.exe through the redirected System32, the 32-bit console
  // hands itself over to the 64-bit one, and that one opens the path as written, in the real
  // System32.
  const std::string system = SystemFolder();
  if (system.empty()) return;
  (void)shell_.Execute(kNoWindow, "", system + "services.msc", "", system, ShowMode::Normal);
}

void Launchers::StartClient(const std::string& installLocation, const std::string& clientName,
                            bool uacPlatform) {
  const std::string path = installLocation + "\\" + clientName;
  if (uacPlatform) {
    const ShellExecuteRequest request = ProgramStart(path, ShowMode::Normal, installLocation);
    // A client that cannot be started (not installed, declined) is not reported.
    (void)shell_.ExecuteEx(request);
    return;
  }
  (void)shell_.WinExec(Quoted(path), ShowMode::Show, installLocation);
}

bool Launchers::OpenWebProfiler(const std::string& address) {
  // The elevated copy opens this address from a file an administrator writes; still, a "file:",
  // a program path or a command line in it must never run.
  if (!IsWebAddress(address)) return false;
  // The shell interface has no desktop-window handle; with no owner the shell uses the desktop.
  // The browser starts in System32 rather than in the controller's current folder.
  (void)shell_.Execute(kNoWindow, "open", address, "", SystemFolder(), ShowMode::Maximized);
  return true;
}

}  // namespace dpc
