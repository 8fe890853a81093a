#include "app/owner_drawn_menu.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string_view>
#include <thread>
#include <vector>

#include "app/icons.h"
#include "app/main_window.h"
#include "i18n/failure_text.h"
#include "platform/win32/text.h"

namespace dpc::app {

using win32::ScopedFont;
using win32::ScopedMenu;
using win32::Utf8ToWide;
namespace {

MenuEntry Item(int id, const char* caption) {
  MenuEntry entry;
  entry.id = id;
  entry.caption = caption;
  return entry;
}

MenuEntry Separator(bool visible = true) {
  MenuEntry entry;
  entry.separator = true;
  entry.visible = visible;
  return entry;
}

std::vector<MenuEntry> SampleEntries() {
  std::vector<MenuEntry> entries = {
      Item(1, "Online Update"), Separator(false), Item(2, "Hidden item"), Item(4, "Stop Server"),
      Item(5, "Start Server"),  Separator(),      Item(17, "Autostart"),  Item(23, "Exit")};
  entries[2].visible = false;
  entries[3].image = 0;
  entries[4].enabled = false;
  entries[4].image = 3;
  entries[6].checked = true;
  return entries;
}

TEST(BuildPopupMenu, LeavesHiddenEntriesOutAndKeepsIdsStatesAndOrder) {
  std::vector<MenuItemData> items;
  ScopedMenu menu = BuildPopupMenu(SampleEntries(), items);
  ASSERT_TRUE(menu);
  ASSERT_EQ(::GetMenuItemCount(menu.get()), 6);
  ASSERT_EQ(items.size(), 6u);

  struct Expected {
    UINT id;
    bool separator, enabled, checked;
    const wchar_t* caption;
  } expected[] = {
      {1, false, true, false, L"Online Update"}, {4, false, true, false, L"Stop Server"},
      {5, false, false, false, L"Start Server"}, {0, true, true, false, L""},
      {17, false, true, true, L"Autostart"},     {23, false, true, false, L"Exit"}};
  for (UINT i = 0; i < 6; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    wchar_t text[64] = {};
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_DATA | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 64;
    ASSERT_TRUE(::GetMenuItemInfoW(menu.get(), i, TRUE, &info)) << i;
    // Owner-drawn, yet the item carries its caption for screen readers.
    EXPECT_STREQ(text, expected[i].caption) << i;
    EXPECT_EQ(info.wID, expected[i].id) << i;
    EXPECT_TRUE(info.fType & MFT_OWNERDRAW) << i;
    EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, expected[i].separator) << i;
    EXPECT_EQ((info.fState & MFS_DISABLED) == 0, expected[i].enabled) << i;
    EXPECT_EQ((info.fState & MFS_CHECKED) != 0, expected[i].checked) << i;
    // The drawing data belongs to this very item.
    ASSERT_EQ(info.dwItemData, reinterpret_cast<ULONG_PTR>(&items[i])) << i;
    EXPECT_EQ(items[i].caption, expected[i].caption) << i;
  }
  EXPECT_EQ(items[1].entry.image, 0);
  EXPECT_EQ(items[2].entry.image, 3);
}

TEST(MenuMetrics, EveryLengthGrowsWithTheDisplayScale) {
  const MenuMetrics normal = MenuMetrics::ForDpi(96, SmallIconSize(96));
  for (UINT dpi : {144u, 192u}) {
    const MenuMetrics scaled = MenuMetrics::ForDpi(dpi, SmallIconSize(dpi));
    const double factor = dpi / 96.0;
    EXPECT_GE(scaled.iconSize, static_cast<int>(normal.iconSize * factor) - 1) << dpi;
    EXPECT_GE(scaled.itemHeight, static_cast<int>(normal.itemHeight * factor) - 1) << dpi;
    EXPECT_GE(scaled.textLeft, static_cast<int>(normal.textLeft * factor) - 1) << dpi;
    EXPECT_GE(scaled.separatorHeight, static_cast<int>(normal.separatorHeight * factor)) << dpi;
    EXPECT_GT(scaled.line, 0);
    // The image and its frame fit inside the bar and the item.
    EXPECT_LT(scaled.iconSize, scaled.iconBarWidth) << dpi;
    EXPECT_LT(scaled.iconSize, scaled.itemHeight) << dpi;
  }
}

TEST(CreateMenuFont, IsTallerAtTwiceTheScale) {
  auto height = [](UINT dpi) {
    const ScopedFont font = CreateMenuFont(dpi);
    LOGFONTW logical{};
    ::GetObjectW(font.get(), sizeof logical, &logical);
    return std::abs(logical.lfHeight);
  };
  EXPECT_GE(height(192), 2 * height(96) - 1);
}

// The open popup menu of this process; other programs on the desktop may have their own.
HWND FindOurOpenMenu() {
  struct Search {
    HWND found = nullptr;
  } search;
  ::EnumWindows(
      [](HWND hwnd, LPARAM context) CALLBACK -> BOOL {
        wchar_t name[16] = {};
        DWORD process = 0;
        ::GetWindowThreadProcessId(hwnd, &process);
        if (process != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd)) return TRUE;
        ::GetClassNameW(hwnd, name, 16);
        if (std::wstring_view(name) != L"#32768") return TRUE;
        reinterpret_cast<Search*>(context)->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForOurOpenMenu() {
  for (int i = 0; i < 300; ++i) {
    if (HWND popup = FindOurOpenMenu()) return popup;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

class TrackedMenu : public ::testing::Test {
 protected:
  // Chooses from the open menu the way a keyboard user does: Down N times, then Return.
  static std::thread ChooseWithKeys(int downs, std::atomic<bool>& menuSeen) {
    return std::thread([downs, &menuSeen] {
      HWND popup = WaitForOurOpenMenu();
      if (!popup) return;
      menuSeen = true;
      for (int i = 0; i < downs; ++i) {
        ::PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
      }
      ::PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
    });
  }

  struct NoEvents final : MainWindowEvents {
    void FormCreate() override {}
    void FormActivate() override {}
    void OnCloseMessage() override {}
    void OnTrayRightClick() override {}
    void OnTimer(TimerId) override {}
    void OnPanelButton(unsigned) override {}
    void ShowFailure(const Failure& failure) override {
      ADD_FAILURE() << DescribeFailure(Translator(), failure);
    }
  };

  void SetUp() override {
    for (TimerId timer : {TimerId::Timer1, TimerId::Timer5, TimerId::ServerRestart})
      EXPECT_TRUE(window.SetTimerEnabled(timer, false).ok());
    window.Create(events);
  }
  void TearDown() override {
    window.Close();
    MSG message;
    ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }

  NoEvents events;
  MainWindow window{::GetModuleHandleW(nullptr)};
};

TEST_F(TrackedMenu, ReturnsTheChosenIdSkippingHiddenEntries) {
  // Visible: Online Update(1), Stop(4), Start(5, disabled), -, Autostart(17), Exit(23). The
  // system's keyboard handling skips the separator; Down from nothing selected lands on the
  // first item.
  std::atomic<bool> seen{false};
  std::thread chooser = ChooseWithKeys(2, seen);
  const int chosen = window.TrackPopupMenu(SampleEntries());
  chooser.join();
  ASSERT_TRUE(seen) << "the menu never opened";
  EXPECT_EQ(chosen, 4);
}

TEST_F(TrackedMenu, DismissedMenuReturnsZeroAndEmptyMenuNeverOpens) {
  std::atomic<bool> seen{false};
  std::thread dismiss([&] {
    if (HWND popup = WaitForOurOpenMenu()) {
      seen = true;
      ::PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    }
  });
  EXPECT_EQ(window.TrackPopupMenu(SampleEntries()), 0);
  dismiss.join();
  EXPECT_TRUE(seen);

  std::vector<MenuEntry> allHidden = SampleEntries();
  for (MenuEntry& entry : allHidden) entry.visible = false;
  EXPECT_EQ(window.TrackPopupMenu(allHidden), 0);
  EXPECT_EQ(window.TrackPopupMenu({}), 0);
}

TEST_F(TrackedMenu, WidthFollowsTheLongestCaptionInTheMenuFont) {
  auto openedWidth = [&](const char* caption) {
    std::atomic<int> width{0};
    std::thread probe([&] {
      RECT bounds{};
      if (HWND popup = WaitForOurOpenMenu(); popup && ::GetWindowRect(popup, &bounds)) {
        width = bounds.right - bounds.left;
        ::PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
      }
    });
    window.TrackPopupMenu({Item(1, "Exit"), Item(2, caption)});
    probe.join();
    return width.load();
  };
  auto textWidth = [](const char* caption) {
    const ScopedFont font = CreateMenuFont(SystemDpi());
    HDC dc = ::CreateCompatibleDC(nullptr);
    ::SelectObject(dc, font.get());
    const std::wstring text = Utf8ToWide(caption);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::DeleteDC(dc);
    return static_cast<int>(size.cx);
  };
  const int narrow = openedWidth("Exit");
  // A long German caption and a Japanese one ("サーバー ファイルのメンテナンス").
  for (const char* caption :
       {"Durvin Proof Server konnte nicht gestartet werden, bitte erneut",
        "\xE3\x82\xB5\xE3\x83\xBC\xE3\x83\x90\xE3\x83\xBC "
        "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\xAE"
        "\xE3\x83\xA1\xE3\x83\xB3\xE3\x83\x86\xE3\x83\x8A\xE3\x83\xB3\xE3\x82\xB9"}) {
    // The item grows by the caption's own extent: nothing cut off, no fixed width.
    EXPECT_GE(openedWidth(caption) - narrow, textWidth(caption) - textWidth("Exit") - 2) << caption;
  }
}

// Shift+F10 or the menu key on the icon: the menu opens at the icon, the anchor the notification
// carries, wherever the pointer is.
TEST_F(TrackedMenu, AMenuAskedForFromTheKeyboardOpensAtTheIcon) {
  if (!window.trayVersionFour()) GTEST_SKIP() << "the shell speaks the classic protocol";
  ::SetCursorPos(5, 5);
  ::SendMessageW(window.hwnd(), kTrayCallbackMessage, MAKEWPARAM(400, 300),
                 MAKELPARAM(WM_CONTEXTMENU, 1));
  RECT shown{};
  std::thread probe([&] {
    if (HWND popup = WaitForOurOpenMenu()) {
      ::GetWindowRect(popup, &shown);
      ::PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    }
  });
  window.TrackPopupMenu(SampleEntries());
  probe.join();
  EXPECT_TRUE(shown.left == 400 || shown.right == 400) << shown.left << "," << shown.right;
  EXPECT_EQ(shown.bottom, 300);
}

}  // namespace
}  // namespace dpc::app
