#include "controller_process.h"

#include <atomic>
#include <thread>
#include <vector>

#include "stand_in_control.h"

namespace dpc::e2e {
namespace {

std::wstring Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

std::wstring Widen(const char* text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
  if (size > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), size);
  return wide;
}

std::wstring ConfiguredPath(const wchar_t* variable, const char* builtIn) {
  std::wstring path = Environment(variable);
  if (path.empty()) path = Widen(builtIn);
  return standin::HostPathToWindows(path);
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return name;
}

template <typename Predicate>
auto PollUntil(std::chrono::milliseconds bound, Predicate predicate) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    auto result = predicate();
    if (result || std::chrono::steady_clock::now() >= deadline) return result;
    std::this_thread::sleep_for(50ms);
  }
}

std::filesystem::path FreshFolder() {
  static std::atomic<unsigned> counter{0};
  const auto base = std::filesystem::temp_directory_path() / L"dpc-e2e";
  for (;;) {
    auto folder = base / (std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter));
    std::error_code error;
    std::filesystem::create_directories(base, error);
    if (std::filesystem::create_directory(folder, error)) return folder;
  }
}

}  // namespace

std::wstring ControllerExecutable() {
  return ConfiguredPath(L"DPC_CONTROLLER_EXE", DPC_CONTROLLER_EXE);
}

std::wstring StandInExecutable() { return ConfiguredPath(L"DPC_STANDIN_EXE", DPC_STANDIN_EXE); }

ControllerProcess::ControllerProcess() : folder_(FreshFolder()) {}

ControllerProcess::~ControllerProcess() {
  Terminate();
  if (process_.hProcess) CloseHandle(process_.hProcess);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

bool ControllerProcess::Start(const std::wstring& arguments,
                              const std::filesystem::path& currentFolder) {
  std::error_code error;
  if (!std::filesystem::copy_file(ControllerExecutable(), executable(),
                                  std::filesystem::copy_options::overwrite_existing, error)) {
    lastError_ = L"cannot copy " + ControllerExecutable() + L": " + Widen(error.message().c_str());
    return false;
  }
  std::wstring commandLine = L"\"" + executable().wstring() + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // A test may start the controller again once the last one ended.
  if (process_.hProcess) CloseHandle(process_.hProcess);
  process_ = {};
  const std::filesystem::path& current = currentFolder.empty() ? folder_ : currentFolder;
  if (!CreateProcessW(executable().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      current.c_str(), &startup, &process_)) {
    lastError_ = L"CreateProcessW failed with " + std::to_wstring(GetLastError());
    return false;
  }
  CloseHandle(process_.hThread);
  process_.hThread = nullptr;
  return true;
}

bool ControllerProcess::IsRunning() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool ControllerProcess::WaitForExit(std::chrono::milliseconds bound) const {
  return process_.hProcess &&
         WaitForSingleObject(process_.hProcess, static_cast<DWORD>(bound.count())) == WAIT_OBJECT_0;
}

DWORD ControllerProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_.hProcess) GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

void ControllerProcess::Terminate() {
  if (IsRunning()) {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 5000);
  }
}

HWND ControllerProcess::FindTopLevel(const wchar_t* className, const wchar_t* title) const {
  struct Search {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
  } search{process_.dwProcessId, className, title, nullptr};
  EnumWindows(
      [](HWND window, LPARAM parameter) CALLBACK -> BOOL {
        auto& search = *reinterpret_cast<Search*>(parameter);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search.processId) return TRUE;
        const bool classMatches = search.className && ClassName(window) == search.className;
        const bool titleMatches = search.title && WindowText(window) == search.title;
        if (search.className && search.title ? classMatches && titleMatches
                                             : classMatches || titleMatches) {
          search.found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ControllerProcess::WaitForMainWindow(std::chrono::milliseconds bound) const {
  return PollUntil(bound, [&] {
    HWND byTitle = FindTopLevel(nullptr, kMainWindowTitle);
    return byTitle ? byTitle : FindTopLevel(L"TfrmControl", nullptr);
  });
}

bool ControllerProcess::PostClose(std::chrono::milliseconds findBound) const {
  HWND window = WaitForMainWindow(findBound);
  return window && PostMessageW(window, WM_CLOSE, 0, 0);
}

bool ControllerProcess::Answers(HWND window, std::chrono::milliseconds bound) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                             static_cast<UINT>(bound.count()), &ignored) != 0;
}

HWND ControllerProcess::WaitForWindowOfClass(const wchar_t* className,
                                             std::chrono::milliseconds bound) const {
  return PollUntil(bound, [&] { return FindTopLevel(className, nullptr); });
}

HWND ControllerProcess::WaitForMessageBox(const std::wstring& title,
                                          std::chrono::milliseconds bound) const {
  return PollUntil(bound, [&] { return FindTopLevel(L"#32770", title.c_str()); });
}

std::wstring ControllerProcess::MessageBoxText(HWND box) {
  std::vector<std::wstring> texts;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM parameter) CALLBACK -> BOOL {
        if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0) {
          auto text = WindowText(child);
          if (!text.empty())
            reinterpret_cast<std::vector<std::wstring>*>(parameter)->push_back(text);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  std::wstring joined;
  for (const auto& text : texts) joined += (joined.empty() ? L"" : L"\n") + text;
  return joined;
}

void ControllerProcess::CloseMessageBox(HWND box) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

std::optional<LRESULT> AskStatus(HWND window, app::StatusQuery what) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, app::kStatusQueryMessage, static_cast<WPARAM>(what), 0,
                           SMTO_ABORTIFHUNG, 2000, &answer)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(answer);
}

namespace {

// Keeps the text of the WM_COPYDATA that answers a text query.
LRESULT CALLBACK KeepAnswer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
  auto* answer =
      reinterpret_cast<std::optional<std::string>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (answer && data) answer->emplace(static_cast<const char*>(data->lpData), data->cbData);
  return TRUE;
}

}  // namespace

std::optional<std::string> AskText(HWND window, TextQuery what, unsigned index) {
  static const ATOM replyClass = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &KeepAnswer;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DpcE2eTextAnswer";
    return RegisterClassW(&wc);
  }();
  if (!replyClass) return std::nullopt;
  HWND reply = CreateWindowW(L"DpcE2eTextAnswer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (!reply) return std::nullopt;
  std::optional<std::string> answer;
  SetWindowLongPtrW(reply, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answer));
  // The controller sends the answer while this call waits, and a waiting sender takes it in.
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, app::kTextQueryMessage,
                      MAKEWPARAM(static_cast<WORD>(what), static_cast<WORD>(index)),
                      reinterpret_cast<LPARAM>(reply), SMTO_ABORTIFHUNG, 4000, &result);
  DestroyWindow(reply);
  return answer;
}

}  // namespace dpc::e2e
