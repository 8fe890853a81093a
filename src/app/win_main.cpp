// Process entry of DurvinProofControl.exe.

#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "app/controller.h"
#include "app/dialog_keys.h"
#include "app/main_window.h"
#include "app/settings_dlg_win.h"
#include "platform/win32/instance_guard_win.h"
#include "platform/win32/library_loader_win.h"
#include "platform/win32/text.h"
#include "shell/elevation.h"
#include "shell/error_box.h"

namespace {

[[noreturn]] void EndWithMessage(const char* text) {
  ::MessageBoxW(nullptr, dpc::win32::Utf8ToWide(text).c_str(),
                dpc::win32::Utf8ToWide(dpc::kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
  ::ExitProcess(1);
}

int RunMessageLoop() {
  MSG message{};
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    if (dpc::app::TakeDialogKey(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace dpc;
  using namespace dpc::app;
  using namespace dpc::win32;

  // Before anything loads a library: no DLL is ever looked for in the current folder or PATH,
  // which may be anyone's, since the controller may run elevated.
  (void)RestrictDllSearch();

  // The shell's dialogs and the XML parser need an apartment-threaded COM on this thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  (void)com;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  // Every long-lived object is created on the heap and deliberately never destroyed: start and
  // stop workers run detached and may still be asleep inside the service manager when the loop
  // ends. ExitProcess below ends them before they could wake up to destroyed objects, and the
  // system frees everything anyway.
  auto* platform = new Win32Platform();

  try {
    platform->services.Bind(platform->libraries);
  } catch (const std::exception& missing) {
    EndWithMessage(missing.what());  // the text is the missing entry point's name
  }

  // One controller per session. An elevated relaunch is never refused: the copy that started it
  // is closing, and the operator's chosen action must run.
  auto* guard = new InstanceGuardWin();
  bool relaunched = false;
  try {
    const OsResult<std::vector<std::string>> arguments = platform->process.Arguments();
    relaunched = arguments && HasElevationArgument(*arguments);
  } catch (const std::exception&) {
    relaunched = false;
  }
  if (!relaunched && guard->AnotherControllerRuns()) ::ExitProcess(0);

  TfrmControl* form = nullptr;
  MainWindow* window = nullptr;
  try {
    auto* bundle = new Platform(platform->Bundle());
    window = new MainWindow(instance);
    auto* dialogs = new SettingsDlgFactoryWin(instance);
    form = &(new Controller(*bundle, *window, *guard, *dialogs))->form();
    window->Create(*new FormEvents<TfrmControl>(*form));  // FormCreate runs in here
  } catch (const std::exception& failure) {
    // Without its window there is no controller; say why instead of vanishing.
    EndWithMessage(failure.what());
  }
  // The application title is the caption of every message box the controller shows
  // (kApplicationTitle); no window carries it.
  window->ShowForFirstActivation();

  const int exitCode = RunMessageLoop();
  try {
    form->AfterMessageLoop();
  } catch (...) {
    // The front panel's goodbye is best effort; the process ends either way.
  }
  ::ExitProcess(static_cast<UINT>(exitCode));
}
