#pragma once

#include <memory>
#include <string>
#include <variant>

#include "platform/os_result.h"
#include "platform/text_error.h"

namespace dpc {

// An element of a loaded XML document; it keeps its document alive.
class XmlElement {
 public:
  virtual ~XmlElement() = default;
  // First child element with this name, or nullptr when there is none; an error when the parser
  // could not walk the children.
  virtual OsResult<std::unique_ptr<XmlElement>> Child(const std::string& name) = 0;
  // Text content of the element and its descendants.
  virtual OsResult<std::string> Text() = 0;
};

// Why a document could not be loaded. A file the parser refuses (unreadable, not well-formed, no
// document element) is a text the operator reads: an English pattern with its values, translated
// where it is shown, or the parser's own words, already in the system's language. A parser that
// could not run at all gives the system's error.
class XmlError {
 public:
  XmlError(OsError system) : reason_(std::move(system)) {}
  XmlError(TextError refusal) : reason_(std::move(refusal)) {}
  static XmlError ParserWords(std::string reason) { return XmlError(Words{std::move(reason)}); }

  // The system's error when the parser could not run, else nullptr.
  const OsError* system() const { return std::get_if<OsError>(&reason_); }
  // Raises it the way a handler describes failures: SystemError, TextError, or a
  // std::runtime_error holding the parser's words.
  [[noreturn]] void Raise() const;

 private:
  struct Words {
    std::string text;
  };
  explicit XmlError(Words words) : reason_(std::move(words)) {}
  std::variant<OsError, TextError, Words> reason_;
};

template <typename T>
using XmlResult = Result<T, XmlError>;

// The XML parser (MSXML on Windows).
class XmlParser {
 public:
  virtual ~XmlParser() = default;
  // Loads a file and returns its document element, never null; the error says why the file
  // cannot be read or is not well-formed.
  virtual XmlResult<std::unique_ptr<XmlElement>> LoadDocumentElement(const std::string& path) = 0;
};

}  // namespace dpc
