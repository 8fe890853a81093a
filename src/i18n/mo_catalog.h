#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "i18n/translate.h"

namespace dpc {

// A compiled gettext catalogue (.mo) as a dictionary. It reads the bytes in place, so they must
// outlive it: the build compiles each language's catalogue into the executable.
class MoCatalog final : public Dictionary {
 public:
  // nullptr unless the bytes are a complete little-endian UTF-8 catalogue whose strings all lie
  // inside it and whose originals are sorted (lookups search them by halves).
  static std::shared_ptr<const MoCatalog> Parse(std::string_view bytes);

  std::optional<std::string> Lookup(std::string_view english) const override;

  // The entries in the catalogue's order, the header (empty original) first.
  size_t size() const { return count_; }
  std::pair<std::string_view, std::string_view> Entry(size_t index) const;

 private:
  MoCatalog(std::string_view bytes, size_t count, size_t originals, size_t translations)
      : bytes_(bytes), count_(count), originals_(originals), translations_(translations) {}
  std::string_view String(size_t table, size_t index) const;

  std::string_view bytes_;
  size_t count_;
  size_t originals_;
  size_t translations_;
};

}  // namespace dpc
