#include "frontpanel/uib32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

// What the stand-in exports saw. The exports are plain functions, as the real library's are, so
// they record into one shared log that each test resets.
struct Call {
  std::string function;
  std::u16string text;
  int32_t line = 0;
  uint8_t highlight = 0;
  uint8_t style = 0;
  void* window = nullptr;
};
std::vector<Call> calls;
int32_t initLibResult = 0;

void Record(const char* function, void* window = nullptr) {
  Call call;
  call.function = function;
  call.window = window;
  calls.push_back(call);
}

int32_t DPC_UIB_CALL FakeInitLib(void* window) {
  Record("UIB_InitLib", window);
  return initLibResult;
}
int32_t DPC_UIB_CALL FakeUnInitLib() {
  Record("UIB_UnInitLib");
  return 0;
}
int32_t DPC_UIB_CALL FakeClearDisplay() {
  Record("UIB_ClearDisplay");
  return 0;
}
int32_t DPC_UIB_CALL FakeDrawText(const char16_t* text, int32_t line, uint8_t highlight,
                                  uint8_t style) {
  calls.push_back({"UIB_DrawText", text, line, highlight, style, nullptr});
  return 7;
}

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (const auto& call : calls) names.push_back(call.function);
  return names;
}

class TUIB32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    initLibResult = 0;
    loader.libraries["libUib32.dll"] = {
        {"UIB_InitLib", reinterpret_cast<void*>(&FakeInitLib)},
        {"UIB_UnInitLib", reinterpret_cast<void*>(&FakeUnInitLib)},
        {"UIB_ClearDisplay", reinterpret_cast<void*>(&FakeClearDisplay)},
        {"UIB_DrawText", reinterpret_cast<void*>(&FakeDrawText)},
    };
  }

  // Exercises every operation, as start-up and shutdown do.
  static void RunLifecycle(TUIB32& panel) {
    panel.InitLib(0x1234);
    panel.ClearDisplay();
    panel.DrawText("Kelvra Tarn Control is not running!", 0, 0, 2);
    panel.UnInitLib();
  }

  test::FakeLibraryLoader loader;
};

TEST_F(TUIB32Test, StartAndEndReachTheLibraryInOrder) {
  TUIB32 panel(loader);
  ASSERT_TRUE(panel.ready());
  EXPECT_EQ(panel.InitLib(0x1234), 0);
  panel.ClearDisplay();
  EXPECT_EQ(panel.DrawText("Kelvra Tarn Control is not running!", 0, 0, 2), 7);
  panel.UnInitLib();

  EXPECT_EQ(loader.loads, std::vector<std::string>{"libUib32.dll"});
  EXPECT_EQ(Names(), (std::vector<std::string>{"UIB_InitLib", "UIB_ClearDisplay", "UIB_DrawText",
                                               "UIB_UnInitLib"}));
  EXPECT_EQ(calls[0].window, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(calls[2].text, u"Kelvra Tarn Control is not running!");
  EXPECT_EQ(calls[2].line, 0);
  EXPECT_EQ(calls[2].highlight, 0);
  EXPECT_EQ(calls[2].style, 2);
  EXPECT_FALSE(panel.ready());
  EXPECT_EQ(loader.unloads, 1);
}

TEST_F(TUIB32Test, NothingIsCalledAfterUnInitLib) {
  TUIB32 panel(loader);
  RunLifecycle(panel);
  calls.clear();
  EXPECT_EQ(panel.InitLib(1), -1);
  panel.ClearDisplay();
  EXPECT_EQ(panel.DrawText("again", 0, 0, 0), -1);
  panel.UnInitLib();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(loader.unloads, 1);
}

TEST_F(TUIB32Test, MissingLibraryMakesEveryOperationANoOp) {
  loader.libraries.clear();
  TUIB32 panel(loader);
  EXPECT_FALSE(panel.ready());
  EXPECT_EQ(panel.InitLib(1), -1);
  panel.ClearDisplay();
  EXPECT_EQ(panel.DrawText("text", 0, 0, 2), -1);
  panel.UnInitLib();
  EXPECT_EQ(loader.loads, std::vector<std::string>{"libUib32.dll"});
}

TEST_F(TUIB32Test, AnyMissingExportMeansNothingIsCalled) {
  for (const char* missing : {"UIB_InitLib", "UIB_UnInitLib", "UIB_ClearDisplay", "UIB_DrawText"}) {
    SCOPED_TRACE(missing);
    SetUp();
    loader.libraries["libUib32.dll"].erase(missing);
    {
      TUIB32 panel(loader);
      EXPECT_FALSE(panel.ready());
      EXPECT_EQ(panel.InitLib(1), -1);
      panel.ClearDisplay();
      EXPECT_EQ(panel.DrawText("text", 0, 0, 2), -1);
      panel.UnInitLib();
    }
    EXPECT_TRUE(calls.empty());
  }
}

TEST_F(TUIB32Test, FailedInitLibKeepsTheLibraryLoadedButSilent) {
  initLibResult = 3;
  {
    TUIB32 panel(loader);
    EXPECT_EQ(panel.InitLib(1), 3);
    EXPECT_FALSE(panel.ready());
    panel.ClearDisplay();
    EXPECT_EQ(panel.DrawText("text", 0, 0, 2), -1);
    panel.UnInitLib();
    EXPECT_EQ(loader.unloads, 0);
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"UIB_InitLib"});
  EXPECT_EQ(loader.unloads, 1);
}

TEST_F(TUIB32Test, DestroyingAnInitialisedPanelReleasesTheLibraryFirst) {
  {
    TUIB32 panel(loader);
    panel.InitLib(1);
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"UIB_InitLib", "UIB_UnInitLib"}));
  EXPECT_EQ(loader.unloads, 1);
}

TEST_F(TUIB32Test, DestroyingAPanelThatWasNeverInitialisedCallsNothing) {
  { TUIB32 panel(loader); }
  EXPECT_TRUE(calls.empty());
}

TEST_F(TUIB32Test, TextReachesTheLibraryAsUtf16CutTo127Units) {
  const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair in UTF-16
  struct Case {
    const char* name;
    std::string text;
    std::u16string expected;
  } cases[] = {
      {"short ASCII", "Ready", u"Ready"},
      {"empty", "", u""},
      {"200 characters", std::string(200, 'a'), std::u16string(127, u'a')},
      {"exactly 127", std::string(127, 'b'), std::u16string(127, u'b')},
      {"non-ASCII",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC" +
           emoji,
       u"Gr\u00FC\u00DFe \u20AC\U0001F600"},
      {"pair fits at the cut", std::string(125, 'c') + emoji + "d",
       std::u16string(125, u'c') + u"\U0001F600"},
      {"pair straddles the cut", std::string(126, 'c') + emoji, std::u16string(126, u'c')},
      {"two-byte characters count one unit each",
       [] {
         std::string text;
         for (int i = 0; i < 130; ++i) text += "\xC3\xA9";
         return text;
       }(),
       std::u16string(127, u'\u00E9')},
      {"invalid bytes replaced",
       "a\xFF"
       "b",
       u"a\uFFFDb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    calls.clear();
    TUIB32 panel(loader);
    panel.InitLib(1);
    panel.DrawText(c.text, 0, 0, 0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].text, c.expected);
  }
}

}  // namespace
}  // namespace dpc
