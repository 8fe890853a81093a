#include "platform/win32/text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/desktop_win.h"
#include "platform/win32/os_error_win.h"
#include "platform/win32/shell_win.h"

namespace dpc::win32 {
namespace {

TEST(Text, Utf8AndUtf16RoundTrip) {
  struct Case {
    std::string utf8;
    std::wstring wide;
  };
  const Case cases[] = {
      {"", L""},
      {"plain", L"plain"},
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       L"\u0141\u00F3d\u017A"},
      {"\xE6\x9D\xB1\xE4\xBA\xAC", L"\u6771\u4EAC"},
      {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},               // outside the BMP: a surrogate pair
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},  // embedded NUL survives
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToWide(c.utf8), c.wide);
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8);
  }
}

TEST(Text, ALoneSurrogateIsFoundAndAPairIsNot) {
  const struct {
    std::wstring text;
    bool lone;
  } cases[] = {{L"plain", false},
               {L"\xD83D\xDE00", false},
               {L"a\xD800"
                L"b",
                true},
               {L"\xDC00"
                L"a",
                true},
               {L"end\xD83D", true},
               {L"\xDE00\xD83D", true}};
  for (const auto& c : cases) EXPECT_EQ(HasLoneSurrogate(c.text), c.lone);
}

TEST(Text, MalformedUtf8BecomesReplacementCharacter) {
  EXPECT_EQ(Utf8ToWide("a\xFF"
                       "b"),
            L"a\uFFFDb");
}

TEST(Text, AnsiRefusesCharactersOutsideTheCodePage) {
  if (::GetACP() == CP_UTF8) GTEST_SKIP() << "UTF-8 system code page holds every character";
  EXPECT_TRUE(Utf8ToAnsi("plain text 123").exact);
  EXPECT_EQ(Utf8ToAnsi("plain text 123").bytes, "plain text 123");
  const AnsiText check = Utf8ToAnsi("ok \xE2\x9C\x93");  // U+2713 is in no ANSI code page
  EXPECT_FALSE(check.exact);
  EXPECT_EQ(check.bytes, "ok ?");
}

TEST(Text, AnsiOfWesternCodePage) {
  if (::GetACP() != 1252) GTEST_SKIP() << "code page " << ::GetACP();
  const AnsiText cafe = Utf8ToAnsi("caf\xC3\xA9");
  EXPECT_TRUE(cafe.exact);
  EXPECT_EQ(cafe.bytes, "caf\xE9");
  EXPECT_EQ(AnsiToUtf8("caf\xE9"), "caf\xC3\xA9");
  // Best fit would write "l" for "ł"; the text must be marked inexact instead.
  const AnsiText lodz = Utf8ToAnsi("\xC5\x82");
  EXPECT_FALSE(lodz.exact);
  EXPECT_EQ(lodz.bytes, "?");
}

TEST(OsErrorWin, SystemTextWithoutTrailingLineBreak) {
  const std::string text = SystemMessageText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
}

TEST(OsErrorWin, UnknownCodeHasNoText) {
  EXPECT_EQ(SystemMessageText(0x2000FFFFu), "");
  // Having no text is the system's answer, not a failure to give one.
  const OsResult<std::string> message = SystemMessage(0x2000FFFFu);
  ASSERT_TRUE(message) << message.error().code;
  EXPECT_EQ(*message, "");
}

TEST(OsErrorWin, ThrowLastErrorCarriesCodeApiAndOperatorText) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  try {
    ThrowLastError("TestApi");
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 5u);
    EXPECT_EQ(error.api(), "TestApi");
    EXPECT_EQ(std::string(error.what()),
              "System Error.  Code: 5.\r\n" + SystemMessageText(ERROR_ACCESS_DENIED));
    return;
  }
  FAIL() << "no SystemError thrown";
}

TEST(DesktopWin, OpenDialogFilterIsNulSeparatedAndDoubleTerminated) {
  struct Case {
    const char* filter;
    std::wstring expected;  // without the terminator c_str() adds
  };
  const Case cases[] = {
      {"Kelvra Tarn Update (*.exe)|*.exe",
       std::wstring(L"Kelvra Tarn Update (*.exe)\0*.exe\0", 33)},
      {"A|*.a|B|*.b", std::wstring(L"A\0*.a\0B\0*.b\0", 12)},
      {"A|*.a|", std::wstring(L"A\0*.a\0", 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    EXPECT_EQ(OpenDialogFilter(c.filter), c.expected);
  }
}

TEST(ShellWin, ShellResultsWithoutALastErrorStillGiveARealCode) {
  EXPECT_EQ(ShellErrorToWin32(SE_ERR_NOASSOC), static_cast<uint32_t>(ERROR_NO_ASSOCIATION));
  EXPECT_NE(ShellErrorToWin32(0), 0u);
}

}  // namespace
}  // namespace dpc::win32
