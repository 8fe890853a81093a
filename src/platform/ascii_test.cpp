#include "platform/ascii.h"

#include <gtest/gtest.h>

namespace dpc {
namespace {

TEST(AsciiCase, OnlyLettersFold) {
  struct Case {
    std::string_view a, b;
    bool equal;
  } const cases[] = {
      {"Durvin Proof Server", "dURVIN pROOF sERVER", true},
      {"@[\\]^_", "`{|}~\x7f", false},  // one bit apart from A-Z's neighbours, not letters
      {"\xC3\x84", "\xC3\xA4", false},  // UTF-8 Ä and ä: the code page decides, not this
      {"ab", "abc", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
  }
  EXPECT_EQ(AsciiUpper("d:\\Jobs\xC3\xA4z"), "D:\\JOBS\xC3\xA4Z");
  EXPECT_EQ(AsciiLower("UTF-8 \xC3\x84"), "utf-8 \xC3\x84");
}

TEST(AsciiCase, PrefixAndSearch) {
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("HTTPS://host", "https://"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("http", "https://"));
  EXPECT_EQ(FindIgnoringAsciiCase("<Path>C:\\OLD</Path> c:\\old", "c:\\Old"), 6u);
  EXPECT_EQ(FindIgnoringAsciiCase("<Path>C:\\OLD</Path> c:\\old", "c:\\Old", 7), 20u);
  EXPECT_EQ(FindIgnoringAsciiCase("abc", "bc", 9), std::string_view::npos);
  EXPECT_EQ(FindIgnoringAsciiCase("abc", ""), std::string_view::npos);
}

}  // namespace
}  // namespace dpc
