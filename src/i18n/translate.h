#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace dpc {

// Windows locale identifier of the interface's source language, English (United States).
inline constexpr uint32_t kEnglishLcid = 1033;

// One interface language: English source text to its translation.
class Dictionary {
 public:
  virtual ~Dictionary() = default;
  // nullopt when the dictionary has no entry for the text.
  virtual std::optional<std::string> Lookup(std::string_view english) const = 0;
};

// The interface dictionary: the main form owns one and hands it to every window and handler that
// shows text, so a language chosen in one controller (or one test) never leaks into another.
// English until a language is selected. User-interface thread only.
class Translator {
 public:
  // The text in the current interface language, or unchanged without an entry for it.
  std::string Translate(std::string_view english) const;
  // Translates the pattern, then fills its "%s" and "%d" placeholders in order with the arguments.
  // The arguments are inserted as plain text, so a '%' in them (a path, a value name) means
  // nothing; "%%" stands for one '%'. Placeholders without an argument are left as they are.
  std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args) const;

  // Selects the language; nullptr is English. Counts every change, so windows can tell that
  // their captions are stale.
  void Select(uint32_t lcid, std::shared_ptr<const Dictionary> dictionary);
  uint32_t lcid() const { return lcid_; }
  uint64_t generation() const { return generation_; }

 private:
  uint32_t lcid_ = kEnglishLcid;
  uint64_t generation_ = 0;
  std::shared_ptr<const Dictionary> dictionary_;
};

// Marks an English text that a table holds and that is translated where it is shown: the key
// extraction (xgettext, see "Adding a language" in the README) finds texts by this name. Changes
// nothing.
constexpr const char* UiText(const char* english) { return english; }

// Fills "%s" and "%d" placeholders in order, without translating (for texts already translated).
std::string FillPlaceholders(std::string_view pattern,
                             std::initializer_list<std::string_view> args);

}  // namespace dpc
