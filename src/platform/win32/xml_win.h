#pragma once

#include "platform/xml.h"

namespace dpc::win32 {

// MSXML 6.0, or 3.0 where 6.0 is not installed. COM must be initialised on the calling thread by
// its owner; elements are used on that thread only.
class XmlParserWin final : public XmlParser {
 public:
  // A malformed or unreadable file gives "<parser's reason> (line N)"; no MSXML, the system's
  // error of CoCreateInstance.
  XmlResult<std::unique_ptr<XmlElement>> LoadDocumentElement(const std::string& path) override;
};

}  // namespace dpc::win32
