#include "i18n/mo_catalog.h"

#include <cstdint>

namespace dpc {

namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr size_t kHeaderSize = 28;

// msgfmt writes the build machine's byte order, little-endian on every machine we build on.
uint32_t Read32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + 3 - i]);
  return value;
}

}  // namespace

std::shared_ptr<const MoCatalog> MoCatalog::Parse(std::string_view bytes) {
  if (bytes.size() < kHeaderSize) return nullptr;
  if (Read32(bytes, 0) != kMagic) return nullptr;
  // Only the major revision changes the layout.
  if ((Read32(bytes, 4) >> 16) != 0) return nullptr;
  const size_t count = Read32(bytes, 8);
  const size_t originals = Read32(bytes, 12);
  const size_t translations = Read32(bytes, 16);
  // Sizes are checked by division so that a huge count cannot wrap the arithmetic around.
  for (size_t table : {originals, translations}) {
    if (table > bytes.size() || (bytes.size() - table) / 8 < count) return nullptr;
  }
  std::shared_ptr<MoCatalog> catalog(new MoCatalog(bytes, count, originals, translations));
  for (size_t i = 0; i < count; ++i) {
    for (size_t table : {originals, translations}) {
      const size_t length = Read32(bytes, table + 8 * i);
      const size_t offset = Read32(bytes, table + 8 * i + 4);
      // Every string ends with a NUL inside the catalogue.
      if (offset >= bytes.size() || bytes.size() - offset <= length || bytes[offset + length] != 0)
        return nullptr;
    }
    if (i > 0 && !(catalog->String(originals, i - 1) < catalog->String(originals, i)))
      return nullptr;
  }
  // The header names the character set; anything but UTF-8 would show as garbled text.
  if (count == 0 || !catalog->String(originals, 0).empty() ||
      catalog->String(translations, 0).find("charset=UTF-8") == std::string_view::npos)
    return nullptr;
  return catalog;
}

std::string_view MoCatalog::String(size_t table, size_t index) const {
  const size_t length = Read32(bytes_, table + 8 * index);
  const size_t offset = Read32(bytes_, table + 8 * index + 4);
  return bytes_.substr(offset, length);
}

std::pair<std::string_view, std::string_view> MoCatalog::Entry(size_t index) const {
  return {String(originals_, index), String(translations_, index)};
}

std::optional<std::string> MoCatalog::Lookup(std::string_view english) const {
  // The empty original is the catalogue's header, not a translation.
  if (english.empty()) return std::nullopt;
  size_t low = 0, high = count_;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const std::string_view original = String(originals_, middle);
    if (original < english) {
      low = middle + 1;
    } else if (english < original) {
      high = middle;
    } else {
      const std::string_view translation = String(translations_, middle);
      if (translation.empty()) return std::nullopt;
      return std::string(translation);
    }
  }
  return std::nullopt;
}

}  // namespace dpc
