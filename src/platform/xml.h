#pragma once

#include <memory>
#include <string>

namespace dpc {

// An element of a loaded XML document; it keeps its document alive.
class XmlElement {
 public:
  virtual ~XmlElement() = default;
  // First child element with this name, or nullptr.
  virtual std::unique_ptr<XmlElement> Child(const std::string& name) = 0;
  // Text content of the element and its descendants.
  virtual std::string Text() = 0;
};

// The XML parser (MSXML on Windows).
class XmlParser {
 public:
  virtual ~XmlParser() = default;
  // Loads a file and returns its document element. Throws std::runtime_error (a TextError from
  // the adapter) with the parser's reason when the file cannot be read or is not well-formed.
  virtual std::unique_ptr<XmlElement> LoadDocumentElement(const std::string& path) = 0;
};

}  // namespace dpc
