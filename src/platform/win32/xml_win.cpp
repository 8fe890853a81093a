#include "platform/win32/xml_win.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <new>
#include <utility>

#include "platform/text_error.h"
#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

// mingw-w64's msxml2.h declares neither class id.
constexpr CLSID kDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID kDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text) : value_(::SysAllocStringLen(text.data(), Length(text))) {
    if (value_ == nullptr) throw std::bad_alloc();
  }
  ~Bstr() { ::SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return value_; }
  BSTR* receive() {
    ::SysFreeString(std::exchange(value_, nullptr));
    return &value_;
  }
  std::string Utf8() const {
    return value_ == nullptr ? std::string() : WideToUtf8({value_, ::SysStringLen(value_)});
  }

 private:
  static UINT Length(const std::wstring& text) { return static_cast<UINT>(text.size()); }
  BSTR value_ = nullptr;
};

OsError HresultError(HRESULT result, const char* api) {
  return MakeOsError(static_cast<uint32_t>(result), api);
}

class XmlElementWin final : public XmlElement {
 public:
  explicit XmlElementWin(ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

  OsResult<std::unique_ptr<XmlElement>> Child(const std::string& name) override {
    // The children are walked by name rather than through an XPath query, so a name is never
    // read as an expression.
    const std::wstring wanted = Utf8ToWide(name);
    ComPtr<IXMLDOMNode> child;
    if (const HRESULT result = node_.get()->get_firstChild(child.receive()); FAILED(result)) {
      return HresultError(result, "IXMLDOMNode::get_firstChild");
    }
    while (child) {
      DOMNodeType type = NODE_INVALID;
      if (const HRESULT result = child.get()->get_nodeType(&type); FAILED(result)) {
        return HresultError(result, "IXMLDOMNode::get_nodeType");
      }
      if (type == NODE_ELEMENT) {
        Bstr childName;
        if (const HRESULT result = child.get()->get_nodeName(childName.receive()); FAILED(result)) {
          return HresultError(result, "IXMLDOMNode::get_nodeName");
        }
        if (childName.get() != nullptr &&
            wanted == std::wstring_view(childName.get(), ::SysStringLen(childName.get()))) {
          return std::unique_ptr<XmlElement>(std::make_unique<XmlElementWin>(std::move(child)));
        }
      }
      ComPtr<IXMLDOMNode> next;
      if (const HRESULT result = child.get()->get_nextSibling(next.receive()); FAILED(result)) {
        return HresultError(result, "IXMLDOMNode::get_nextSibling");
      }
      child = std::move(next);
    }
    return std::unique_ptr<XmlElement>();
  }

  OsResult<std::string> Text() override {
    Bstr text;
    const HRESULT result = node_.get()->get_text(text.receive());
    if (FAILED(result)) return HresultError(result, "IXMLDOMNode::get_text");
    return text.Utf8();
  }

 private:
  // A node holds a reference to its document, which keeps the document alive.
  ComPtr<IXMLDOMNode> node_;
};

OsResult<ComPtr<IXMLDOMDocument>> CreateDocument() {
  ComPtr<IXMLDOMDocument> document;
  HRESULT result =
      ::CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                         reinterpret_cast<void**>(document.receive()));
  if (FAILED(result)) {
    result = ::CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.receive()));
  }
  if (FAILED(result)) return HresultError(result, "CoCreateInstance");
  return document;
}

std::string TrimLineBreaks(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

XmlError ParseError(IXMLDOMDocument& document, const std::string& path) {
  std::string reason;
  long line = 0;
  ComPtr<IXMLDOMParseError> error;
  if (SUCCEEDED(document.get_parseError(error.receive())) && error) {
    Bstr text;
    if (SUCCEEDED(error.get()->get_reason(text.receive()))) reason = TrimLineBreaks(text.Utf8());
    if (FAILED(error.get()->get_line(&line))) line = 0;
  }
  if (reason.empty()) return TextError("The XML file %s could not be loaded", {path});
  if (line > 0) return TextError("%s (line %d)", {reason, std::to_string(line)});
  return XmlError::ParserWords(reason);
}

}  // namespace

XmlResult<std::unique_ptr<XmlElement>> XmlParserWin::LoadDocumentElement(const std::string& path) {
  OsResult<ComPtr<IXMLDOMDocument>> created = CreateDocument();
  if (!created) return XmlError(created.error());
  IXMLDOMDocument& document = *created->get();
  HRESULT result = document.put_async(VARIANT_FALSE);
  if (FAILED(result)) return XmlError(HresultError(result, "IXMLDOMDocument::put_async"));

  VARIANT source;
  ::VariantInit(&source);
  source.vt = VT_BSTR;
  Bstr file(Utf8ToWide(path));
  source.bstrVal = file.get();  // still owned by file
  VARIANT_BOOL loaded = VARIANT_FALSE;
  result = document.load(source, &loaded);
  if (FAILED(result) || loaded != VARIANT_TRUE) return ParseError(document, path);

  ComPtr<IXMLDOMElement> root;
  if (FAILED(document.get_documentElement(root.receive())) || !root) {
    return XmlError(TextError("The XML file %s has no document element", {path}));
  }
  ComPtr<IXMLDOMNode> node;
  result = root.get()->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.receive()));
  if (FAILED(result)) return XmlError(HresultError(result, "QueryInterface"));
  return std::unique_ptr<XmlElement>(std::make_unique<XmlElementWin>(std::move(node)));
}

}  // namespace dpc::win32
