#include "platform/win32/xml_win.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <stdexcept>
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

void CheckHresult(HRESULT result, const char* api) {
  if (FAILED(result)) ThrowOsError(static_cast<uint32_t>(result), api);
}

class XmlElementWin final : public XmlElement {
 public:
  explicit XmlElementWin(ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

  std::unique_ptr<XmlElement> Child(const std::string& name) override {
    // The children are walked by name rather than through an XPath query, so a name is never
    // read as an expression.
    const std::wstring wanted = Utf8ToWide(name);
    ComPtr<IXMLDOMNode> child;
    if (FAILED(node_.get()->get_firstChild(child.receive()))) return nullptr;
    while (child) {
      DOMNodeType type = NODE_INVALID;
      Bstr childName;
      if (SUCCEEDED(child.get()->get_nodeType(&type)) && type == NODE_ELEMENT &&
          SUCCEEDED(child.get()->get_nodeName(childName.receive())) && childName.get() != nullptr &&
          wanted == std::wstring_view(childName.get(), ::SysStringLen(childName.get()))) {
        return std::make_unique<XmlElementWin>(std::move(child));
      }
      ComPtr<IXMLDOMNode> next;
      if (FAILED(child.get()->get_nextSibling(next.receive()))) return nullptr;
      child = std::move(next);
    }
    return nullptr;
  }

  std::string Text() override {
    Bstr text;
    CheckHresult(node_.get()->get_text(text.receive()), "IXMLDOMNode::get_text");
    return text.Utf8();
  }

 private:
  // A node holds a reference to its document, which keeps the document alive.
  ComPtr<IXMLDOMNode> node_;
};

ComPtr<IXMLDOMDocument> CreateDocument() {
  ComPtr<IXMLDOMDocument> document;
  HRESULT result =
      ::CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                         reinterpret_cast<void**>(document.receive()));
  if (FAILED(result)) {
    result = ::CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.receive()));
  }
  CheckHresult(result, "CoCreateInstance");
  return document;
}

std::string TrimLineBreaks(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

[[noreturn]] void ThrowParseError(IXMLDOMDocument& document, const std::string& path) {
  std::string reason;
  long line = 0;
  ComPtr<IXMLDOMParseError> error;
  if (SUCCEEDED(document.get_parseError(error.receive())) && error) {
    Bstr text;
    if (SUCCEEDED(error.get()->get_reason(text.receive()))) reason = TrimLineBreaks(text.Utf8());
    if (FAILED(error.get()->get_line(&line))) line = 0;
  }
  if (reason.empty()) throw TextError("The XML file %s could not be loaded", {path});
  if (line > 0) throw TextError("%s (line %d)", {reason, std::to_string(line)});
  throw std::runtime_error(reason);  // the parser's own words, in the system's language
}

}  // namespace

std::unique_ptr<XmlElement> XmlParserWin::LoadDocumentElement(const std::string& path) {
  ComPtr<IXMLDOMDocument> document = CreateDocument();
  CheckHresult(document.get()->put_async(VARIANT_FALSE), "IXMLDOMDocument::put_async");

  VARIANT source;
  ::VariantInit(&source);
  source.vt = VT_BSTR;
  Bstr file(Utf8ToWide(path));
  source.bstrVal = file.get();  // still owned by file
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT result = document.get()->load(source, &loaded);
  if (FAILED(result) || loaded != VARIANT_TRUE) ThrowParseError(*document.get(), path);

  ComPtr<IXMLDOMElement> root;
  if (FAILED(document.get()->get_documentElement(root.receive())) || !root) {
    throw TextError("The XML file %s has no document element", {path});
  }
  ComPtr<IXMLDOMNode> node;
  CheckHresult(
      root.get()->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.receive())),
      "QueryInterface");
  return std::make_unique<XmlElementWin>(std::move(node));
}

}  // namespace dpc::win32
