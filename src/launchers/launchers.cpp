#include "launchers/launchers.h"

#include <exception>

namespace dpc {

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

Launchers::Launchers(Shell& shell, Desktop& desktop, const Translator& translator)
    : shell_(shell), desktop_(desktop), translator_(translator) {}

// The results of WinExec and ShellExecute are ignored throughout: a launcher reports nothing,
// and a missing program simply does not start.

void Launchers::StartOnlineUpdater(const std::string& controllerFolder) {
  // Quoted, so a folder with a space stays one path.
  shell_.WinExec(Quoted(controllerFolder + "Updater.exe"), show::kShow);
}

void Launchers::StartProfileUpdater(const std::string& controllerFolder) {
  // The trailing space is part of the command line the profile updater has always received.
  shell_.WinExec(Quoted(controllerFolder + "ProfileUpdater.exe") + " ", show::kShow);
}

void Launchers::StartOfflineUpdate(WindowId owner) {
  auto chosen = desktop_.ChooseFileToOpen(
      owner, "c:\\", translator_.Translate("Start Kelvra Tarn Offline Update"),
      translator_.Translate("Kelvra Tarn Update (*.exe)|*.exe"));
  if (!chosen) return;
  // Quoted: unquoted, "D:\Offline Update.exe" would run a "D:\Offline.exe" planted beside it,
  // in a process that may be elevated.
  shell_.WinExec(Quoted(*chosen), show::kShow);
}

void Launchers::OpenServicesConsole() {
  shell_.Execute(kNoWindow, "", "services.msc", "", "", show::kShowNormal);
}

void Launchers::StartClient(const std::string& installLocation, const std::string& clientName,
                            bool uacPlatform) {
  const std::string path = installLocation + "\\" + clientName;
  if (uacPlatform) {
    ShellExecuteRequest request;
    request.mask = kShellExecuteMaskDdeWaitNoUi;
    request.owner = kNoWindow;
    request.file = path;
    request.show = show::kShowNormal;
    // A client that cannot be started (not installed, declined) is not reported: the error is
    // dropped, whether the adapter returns it or raises it.
    try {
      (void)shell_.ExecuteEx(request);
    } catch (const std::exception&) {
    }
    return;
  }
  shell_.WinExec(Quoted(path), show::kShow);
}

void Launchers::OpenWebProfiler(const std::string& address) {
  // The shell interface has no desktop-window handle; with no owner the shell uses the desktop.
  shell_.Execute(kNoWindow, "open", address, "", "", show::kShowMaximized);
}

}  // namespace dpc
