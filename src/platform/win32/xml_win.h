#pragma once

#include "platform/xml.h"

namespace dpc::win32 {

// MSXML 6.0, or 3.0 where 6.0 is not installed. COM must be initialised on the calling thread by
// its owner; elements are used on that thread only.
class XmlParserWin final : public XmlParser {
 public:
  // Throws std::runtime_error "<parser's reason> (line N)" for a malformed or unreadable file, and
  // SystemError when no MSXML can be created.
  std::unique_ptr<XmlElement> LoadDocumentElement(const std::string& path) override;
};

}  // namespace dpc::win32
