// The progress window's Cancel answers the keyboard while a move pumps messages between files.
#include "app/maintenance_dialog.h"

#include <gtest/gtest.h>

#include "platform/win32/message_pump_win.h"

namespace dpc::app {

using win32::MessagePumpWin;
namespace {

TEST(TfrmCopyProgress, CancelAnswersEnterAndSpace) {
  Translator translator;
  for (const WPARAM key : {VK_RETURN, VK_SPACE}) {  // Esc: the end-to-end Cancel
    TfrmCopyProgress progress(::GetModuleHandleW(nullptr), nullptr, translator, "Job folder:");
    HWND cancel = ::GetDlgItem(progress.hwnd(), IDCANCEL);
    EXPECT_EQ(::GetFocus(), cancel) << key;
    ::PostMessageW(cancel, WM_KEYDOWN, key, 1);
    ::PostMessageW(cancel, WM_KEYUP, key, 0xC0000001);
    MessagePumpWin().ProcessPendingMessages();
    EXPECT_TRUE(progress.Cancelled()) << key;
  }
}

}  // namespace
}  // namespace dpc::app
