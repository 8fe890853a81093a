#include "i18n/mo_catalog.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "i18n/languages.h"

namespace dpc {
namespace {

// A catalogue laid out as msgfmt writes one: header, two tables, then the strings.
std::string BuildCatalogue(const std::map<std::string, std::string>& entries, bool bigEndian) {
  std::string bytes, strings;
  auto put = [&](std::string& to, uint32_t value) {
    for (int i = 0; i < 4; ++i) to += static_cast<char>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
  };
  const auto count = static_cast<uint32_t>(entries.size());
  const uint32_t stringsAt = 28 + 16 * count;
  std::string originals, translations;
  for (const auto& [original, translation] : entries) {
    for (auto [table, text] : {std::pair{&originals, &original}, {&translations, &translation}}) {
      put(*table, static_cast<uint32_t>(text->size()));
      put(*table, stringsAt + static_cast<uint32_t>(strings.size()));
      strings += *text + '\0';
    }
  }
  for (uint32_t value : {0x950412deu, 0u, count, 28u, 28 + 8 * count, 0u, 0u}) put(bytes, value);
  return bytes + originals + translations + strings;
}

const std::map<std::string, std::string> kGerman = {
    {"", "Content-Type: text/plain; charset=UTF-8\n"},
    {"Exit", "Beenden"},
    {"File %d of %d", "Datei %d von %d"},
    {"Untranslated", ""}};

TEST(MoCatalogTest, FindsTranslationsInEitherByteOrder) {
  for (bool bigEndian : {false, true}) {
    const std::string bytes = BuildCatalogue(kGerman, bigEndian);
    const auto catalogue = MoCatalog::Parse(bytes);
    ASSERT_TRUE(catalogue) << bigEndian;
    EXPECT_EQ(catalogue->Lookup("Exit"), "Beenden");
    EXPECT_EQ(catalogue->Lookup("File %d of %d"), "Datei %d von %d");
    for (const char* missing : {"", "Untranslated", "Exi", "Exit ", "Zzz", "A"})
      EXPECT_EQ(catalogue->Lookup(missing), std::nullopt) << missing;
  }
}

TEST(MoCatalogTest, RejectsDamagedCatalogues) {
  const std::string good = BuildCatalogue(kGerman, false);
  auto patched = [&](size_t at, std::string with) {
    return good.substr(0, at) + with + good.substr(at + with.size());
  };
  const std::vector<std::pair<const char*, std::string>> damaged = {
      {"bad magic", patched(0, "\x12\x34\x56\x78")},
      {"major revision 1", patched(6, "\x01")},
      {"count beyond the tables", patched(8, std::string("\xff\xff\xff\x0f", 4))},
      {"table beyond the end", patched(12, std::string("\xff\xff\x00\x00", 4))},
      {"string beyond the end", patched(28 + 8, std::string("\x00\x00\x01\x00", 4))},
      {"string without its NUL", patched(28 + 8, std::string("\x05\x00\x00\x00", 4))},
      {"originals out of order", patched(good.find("Exit"), "Z")},
      {"not UTF-8", patched(good.find("UTF-8"), "UTF-7")},
  };
  for (const auto& [what, bytes] : damaged) EXPECT_EQ(MoCatalog::Parse(bytes), nullptr) << what;
  // Whatever is cut off, the reader stays inside the bytes (the sanitizers watch).
  for (size_t size = 0; size < good.size(); ++size)
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
    EXPECT_GT(catalogue->size(), 40u) << language.name;
    for (size_t i = 1; i < catalogue->size(); ++i) {
      const auto [english, translation] = catalogue->Entry(i);
      SCOPED_TRACE(std::string(language.name) + ": " + std::string(english));
      EXPECT_EQ(placeholders(translation), placeholders(english));
      for (const char* product : products) {
        if (english.find(product) != std::string_view::npos) {
          EXPECT_NE(translation.find(product), std::string_view::npos) << product;
        }
      }
      if (const size_t bar = english.rfind('|'); bar != std::string_view::npos) {
        EXPECT_TRUE(translation.ends_with(english.substr(bar)));
      }
    }
  }
  EXPECT_EQ(DictionaryFor(1031)->Lookup("Exit"), "Beenden");
  EXPECT_EQ(DictionaryFor(1041)->Lookup("Cancel"), "キャンセル");
  EXPECT_EQ(DictionaryFor(kEnglishLcid), nullptr);
  EXPECT_EQ(DictionaryFor(2057), nullptr);
}

}  // namespace
}  // namespace dpc
