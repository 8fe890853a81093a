// The progress window's Cancel answers the keyboard.
#include "app/settings_dlg_win.h"

#include <gtest/gtest.h>

#include "app/dialog_keys.h"

namespace dpc::app {

namespace {

TEST(TfrmCopyProgress, CancelAnswersEnterAndSpace) {
  Translator translator;
  for (const WPARAM key : {VK_RETURN, VK_SPACE}) {  // Esc: the end-to-end Cancel
    TfrmCopyProgress progress(::GetModuleHandleW(nullptr), nullptr, translator,
                              "Job folder:", nullptr);
    HWND cancel = ::GetDlgItem(progress.hwnd(), IDCANCEL);
    EXPECT_EQ(::GetFocus(), cancel) << key;
    ::PostMessageW(cancel, WM_KEYDOWN, key, 1);
    ::PostMessageW(cancel, WM_KEYUP, key, 0xC0000001);
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (TakeDialogKey(message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    EXPECT_TRUE(progress.Cancelled()) << key;
  }
}

}  // namespace
}  // namespace dpc::app
