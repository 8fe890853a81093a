#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace dpc {

// One interface language: English source text to its translation.
class Dictionary {
 public:
  virtual ~Dictionary() = default;
  // nullopt when the dictionary has no entry for the text.
  virtual std::optional<std::string> Lookup(const std::string& english) const = 0;
};

// The process-wide translator behind Translate: English (no dictionary) until a language is
// selected. Used on the user-interface thread, but safe from any.
class Translator {
 public:
  static Translator& Instance();

  // Turns translation on; until then every text passes through, whatever language is selected.
  void SwitchOn();
  // The dictionary of the selected language, or nullptr for English.
  void SelectDictionary(std::shared_ptr<const Dictionary> dictionary);
  std::string Translate(const std::string& english) const;

 private:
  mutable std::mutex mutex_;
  bool on_ = false;
  std::shared_ptr<const Dictionary> dictionary_;
};

// The text in the current interface language, or unchanged without an entry for it.
std::string Translate(const std::string& english);

// Translates a pattern with one "%s" and puts the argument in its place. The argument is inserted
// as plain text, so a '%' in it (a file name, a value name) means nothing.
std::string TranslateFormat(const std::string& pattern, const std::string& argument);

}  // namespace dpc
