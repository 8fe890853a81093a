#include <windows.h>
// The macro would turn TUIB32::DrawText into DrawTextW.
#undef DrawText

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frontpanel/uib32.h"
#include "platform/win32/library_loader_win.h"

namespace dpc {
namespace {

namespace fs = std::filesystem;

// The stand-ins are built into a folder of the (Linux) build tree; Wine shows it on drive Z:.
fs::path StandInFolder() {
  std::string path = DPC_TESTSUPPORT_DIR;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return fs::path(path).make_preferred();
}

std::vector<std::string> ReadLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

// A fresh folder holding one stand-in display library under the name the controller loads,
// searched by LoadLibrary for the life of the fixture.
class StandInLibrary : public ::testing::Test {
 protected:
  void Use(const char* standIn, const std::string& config = "") {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = fs::path(temp) / ("dpc panel " + std::to_string(::GetCurrentProcessId()) + " " +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::copy_file(StandInFolder() / standIn, folder_ / "libUib32.dll");
    if (!config.empty()) std::ofstream(folder_ / "libUib32.config") << config;
    ASSERT_TRUE(::SetDllDirectoryW(folder_.c_str()));
  }
  void TearDown() override {
    ::SetDllDirectoryW(nullptr);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::vector<std::string> Calls() const { return ReadLines(folder_ / "libUib32.calls.txt"); }

  win32::LibraryLoaderWin loader;
  fs::path folder_;
};

// A window that can receive the library's button message, without showing anything.
struct MessageWindow {
  MessageWindow()
      : handle(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                 nullptr)) {}
  ~MessageWindow() { ::DestroyWindow(handle); }
  WindowId id() const { return reinterpret_cast<WindowId>(handle); }
  HWND handle;
};

TEST_F(StandInLibrary, RealLibraryReceivesTheCallsInOrder) {
  Use("libUib32.dll");
  MessageWindow window;
  {
    TUIB32 panel(loader);
    ASSERT_TRUE(panel.ready());
    EXPECT_EQ(panel.InitLib(window.id()), 0);
    panel.ClearDisplay();
    panel.DrawText("Kelvra Tarn Control is not running!", 0, 0, 2);
    panel.UnInitLib();
  }
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0], "UIB_InitLib\t" + std::to_string(window.id()));
  EXPECT_EQ(calls[1], "UIB_ClearDisplay");
  EXPECT_EQ(calls[2], "UIB_DrawText\tKelvra Tarn Control is not running!\t0\t0\t2\t35");
  EXPECT_EQ(calls[3], "UIB_UnInitLib");
}

TEST_F(StandInLibrary, TextArrivesAsUtf16CutTo127Units) {
  Use("libUib32.dll");
  const std::string emoji = "\xF0\x9F\x98\x80";
  struct {
    std::string text;
    std::string recorded;
    int units;
  } cases[] = {
      {std::string(200, 'A'), std::string(127, 'A'), 127},
      {"Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC" +
           emoji,
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC" +
           emoji,
       9},
      {std::string(126, 'B') + emoji, std::string(126, 'B'), 126},
  };
  {
    TUIB32 panel(loader);
    ASSERT_EQ(panel.InitLib(kNoWindow), 0);
    for (const auto& c : cases) panel.DrawText(c.text, 1, 1, 0);
    panel.UnInitLib();
  }
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2 + std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto fields = Split(calls[1 + i]);
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[1], cases[i].recorded);
    EXPECT_EQ(fields[5], std::to_string(cases[i].units));
  }
}

TEST_F(StandInLibrary, ButtonMessageReachesTheGivenWindow) {
  Use("libUib32.dll", "post_button=2\n");
  MessageWindow window;
  TUIB32 panel(loader);
  ASSERT_EQ(panel.InitLib(window.id()), 0);
  MSG message{};
  ASSERT_TRUE(::PeekMessageW(&message, window.handle, 0x8020, 0x8020, PM_REMOVE));
  EXPECT_EQ(message.wParam, 2u);
  panel.UnInitLib();
}

TEST_F(StandInLibrary, LibraryWithoutOneExportIsNeverCalled) {
  Use("libUib32_noclear.dll");
  {
    TUIB32 panel(loader);
    EXPECT_FALSE(panel.ready());
    EXPECT_EQ(panel.InitLib(kNoWindow), -1);
    panel.ClearDisplay();
    EXPECT_EQ(panel.DrawText("text", 0, 0, 2), -1);
    panel.UnInitLib();
  }
  EXPECT_FALSE(fs::exists(folder_ / "libUib32.calls.txt"));
}

TEST_F(StandInLibrary, FailedInitLibSilencesTheLibrary) {
  Use("libUib32.dll", "initlib_result=1\n");
  {
    TUIB32 panel(loader);
    EXPECT_EQ(panel.InitLib(kNoWindow), 1);
    panel.ClearDisplay();
    panel.DrawText("text", 0, 0, 2);
    panel.UnInitLib();
  }
  EXPECT_EQ(Calls(), std::vector<std::string>{"UIB_InitLib\t0"});
}

}  // namespace
}  // namespace dpc
