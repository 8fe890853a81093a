// The progress window against the real window manager: its Cancel must answer the keyboard while
// a move pumps messages between files.
#include "platform/win32/settings_dialog_win.h"

#include <gtest/gtest.h>

#include "platform/win32/message_pump_win.h"

namespace dpc::win32 {
namespace {

TEST(TfrmCopyProgress, CancelAnswersEscEnterAndSpace) {
  struct Case {
    const char* name;
    WPARAM key;
  };
  const Case cases[] = {{"Esc", VK_ESCAPE}, {"Enter", VK_RETURN}, {"Space", VK_SPACE}};
  Translator translator;
  MessagePumpWin pump;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TfrmCopyProgress progress(::GetModuleHandleW(nullptr), nullptr, translator, "Job folder:");
    HWND cancel = ::GetDlgItem(progress.hwnd(), IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(::GetFocus(), cancel) << "the keyboard starts on Cancel";
    ::PostMessageW(cancel, WM_KEYDOWN, c.key, 1);
    ::PostMessageW(cancel, WM_KEYUP, c.key, 0xC0000001);
    pump.ProcessPendingMessages();
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_FALSE(::IsWindowVisible(progress.hwnd()));
  }
}

}  // namespace
}  // namespace dpc::win32
