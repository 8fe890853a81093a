#include "i18n/mo_catalog.h"

#include <gtest/gtest.h>

#include <vector>

#include "i18n/languages.h"

namespace dpc {
namespace {

std::string_view GermanCatalogue() { return InterfaceLanguages()[1].catalogue; }

TEST(MoCatalogTest, FindsExactlyTheTranslatedTexts) {
  const auto german = DictionaryFor(1031);
  ASSERT_TRUE(german);
  EXPECT_EQ(german->Lookup("Exit"), "Beenden");
  EXPECT_EQ(german->Lookup("File %d of %d"), "Datei %d von %d");
  for (const char* missing : {"", "Exi", "Exit ", "exit", "\x01", "\xff"})
    EXPECT_EQ(german->Lookup(missing), std::nullopt) << missing;
  EXPECT_EQ(DictionaryFor(kEnglishLcid), nullptr);
  EXPECT_EQ(DictionaryFor(2057), nullptr);
}

TEST(MoCatalogTest, RejectsDamagedCatalogues) {
  const std::string good(GermanCatalogue());
  auto patched = [&](size_t at, std::string with) {
    return good.substr(0, at) + with + good.substr(at + with.size());
  };
  auto at = [&](size_t offset) { return static_cast<uint8_t>(good[offset]); };
  // The second original (the first after the header): its length and where it lies.
  const size_t length = at(36) | at(37) << 8, offset = at(40) | at(41) << 8 | at(42) << 16;
  const std::vector<std::pair<const char*, std::string>> damaged = {
      {"bad magic", patched(0, "\x12\x34\x56\x78")},
      {"major revision 1", patched(6, "\x01")},
      {"count beyond the tables", patched(8, std::string("\xff\xff\xff\x0f", 4))},
      {"table beyond the end", patched(12, std::string("\xff\xff\xff\x00", 4))},
      {"string beyond the end", patched(36, std::string("\xff\xff\xff\x00", 4))},
      {"string without its NUL", patched(36, std::string(1, static_cast<char>(length - 1)))},
      {"originals out of order", patched(offset, "\x7f")},
      {"not UTF-8", patched(good.find("UTF-8"), "UTF-7")},
  };
  for (const auto& [what, bytes] : damaged) EXPECT_EQ(MoCatalog::Parse(bytes), nullptr) << what;
  // Whatever is cut off, the reader stays inside the bytes (the sanitizers watch).
  for (size_t size = 0; size < good.size(); size += 7)
    EXPECT_EQ(MoCatalog::Parse(good.substr(0, size)), nullptr) << size;
}

// Holds every built-in language to what the code relies on: its catalogue loads, each
// translation keeps the English text's placeholders in order (Format fills them by position),
// keeps the product names, and keeps a file filter's pattern.
TEST(MoCatalogTest, BuiltInLanguagesKeepPlaceholdersProductNamesAndPatterns) {
  auto placeholders = [](std::string_view text) {
    std::string found;
    for (size_t i = text.find('%'); i != std::string_view::npos && i + 1 < text.size();
         i = text.find('%', i + 2))
      found += text.substr(i, 2);
    return found;
  };
  const char* products[] = {"Durvin Proof", "Kelvra", "Vistrane", "Tarn", "Morrow Web Profiler"};
  ASSERT_EQ(InterfaceLanguages().size(), 8u);
  for (const InterfaceLanguage& language : InterfaceLanguages()) {
    const auto catalogue = MoCatalog::Parse(language.catalogue);
    ASSERT_TRUE(catalogue) << language.name;
    for (size_t i = 1; i < catalogue->size(); ++i) {
      const auto [english, translation] = catalogue->Entry(i);
      SCOPED_TRACE(std::string(language.name) + ": " + std::string(english));
      EXPECT_EQ(placeholders(translation), placeholders(english));
      for (const char* product : products) {
        if (english.find(product) != std::string_view::npos) {
          EXPECT_NE(translation.find(product), std::string_view::npos) << product;
        }
      }
      // A file-filter text ends in its pattern ("...|*.exe"); a bar inside a sentence is text.
      if (const size_t bar = english.rfind('|');
          bar != std::string_view::npos && english.find(' ', bar) == std::string_view::npos) {
        EXPECT_TRUE(translation.ends_with(english.substr(bar)));
      }
    }
  }
}

}  // namespace
}  // namespace dpc
