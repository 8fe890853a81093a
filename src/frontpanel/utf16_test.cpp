#include "frontpanel/utf16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace dpc {
namespace {

// The input lives in a heap block of exactly its size, so a read past the end trips the
// address sanitizer.
std::u16string Convert(const std::string& bytes) {
  auto exact = std::make_unique<char[]>(bytes.size());
  std::memcpy(exact.get(), bytes.data(), bytes.size());
  return Utf8ToUtf16(std::string_view(exact.get(), bytes.size()));
}

TEST(Utf8ToUtf16, WellFormedTextConvertsExactly) {
  struct {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"", u""},
      {"Kelvra", u"Kelvra"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"\xC2\x80", u"\u0080"},
      {"\xDF\xBF", u"\u07FF"},
      {"\xE0\xA0\x80", u"\u0800"},
      {"\xED\x9F\xBF", u"\uD7FF"},
      {"\xEE\x80\x80", u"\uE000"},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x90\x80\x80", u"\U00010000"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    EXPECT_EQ(Convert(c.in), c.out);
  }
}

TEST(Utf8ToUtf16, IllFormedSequencesBecomeReplacementCharacters) {
  struct {
    const char* name;
    std::string in;
    std::u16string out;
  } cases[] = {
      {"stray continuation", "a\x80z", u"a\uFFFDz"},
      {"lead byte that starts nothing", "\xC0\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"truncated at the end", "ok\xE2\x82", u"ok\uFFFD"},
      {"truncated four-byte at the end", "\xF0\x9F\x98", u"\uFFFD"},
      {"lead byte alone at the end", "x\xC3", u"x\uFFFD"},
      {"interrupted by ASCII",
       "\xE2\x82"
       "A",
       u"\uFFFDA"},
      {"interrupted by a new lead", "\xE2\xC3\xA9", u"\uFFFD\u00E9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Convert(c.in), c.out);
  }
}

}  // namespace
}  // namespace dpc
