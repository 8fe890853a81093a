#include "platform/win32/xml_win.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "adapter_test_support.h"

namespace dpc::win32 {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

// COM belongs to the thread's owner; in the program that is wWinMain, here the fixture.
class XmlParserWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { ::CoUninitialize(); }

  TempFolder folder;
  XmlParserWin parser;
};

TEST_F(XmlParserWinTest, ReadsChildElementsByName) {
  const std::string file = folder.File("Durvin \xE2\x9C\x93.xml");
  WriteBytes(file,
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
             "<Product>\r\n"
             "  <!-- comment first -->\r\n"
             "  <Version>5.0.1</Version>\r\n"
             "  <Client><Name>Kelvra \xC5\x81\xC3\xB3"
             "d\xC5\xBA.exe</Name></Client>\r\n"
             "</Product>\r\n");
  XmlResult<std::unique_ptr<XmlElement>> loaded = parser.LoadDocumentElement(file);
  ASSERT_TRUE(loaded);
  std::unique_ptr<XmlElement> root = std::move(*loaded);
  std::unique_ptr<XmlElement> version = ValueOrRaise(root->Child("Version"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(*version->Text(), "5.0.1");
  std::unique_ptr<XmlElement> client = ValueOrRaise(root->Child("Client"));
  ASSERT_NE(client, nullptr);
  std::unique_ptr<XmlElement> name = ValueOrRaise(client->Child("Name"));
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(*name->Text(),
            "Kelvra \xC5\x81\xC3\xB3"
            "d\xC5\xBA.exe");
  // Elements outlive the root they came from.
  root.reset();
  EXPECT_EQ(*name->Text(),
            "Kelvra \xC5\x81\xC3\xB3"
            "d\xC5\xBA.exe");
}

TEST_F(XmlParserWinTest, MissingOrDifferentlyCasedChildIsNull) {
  const std::string file = folder.File("p.xml");
  WriteBytes(file, "<Product><Version>5</Version></Product>");
  XmlResult<std::unique_ptr<XmlElement>> loaded = parser.LoadDocumentElement(file);
  ASSERT_TRUE(loaded);
  XmlElement& root = **loaded;
  EXPECT_EQ(root.Child("Guid").value(), nullptr);
  EXPECT_EQ(root.Child("version").value(), nullptr);
  EXPECT_EQ(root.Child("Product/Version").value(), nullptr);  // a name, never a path expression
  EXPECT_EQ(root.Child("Version").value()->Child("Anything").value(), nullptr);
}

// A refused file is the parser's reason for the operator, never a system error. (Windows' MSXML
// names the line of a malformed file; Wine's says only "error", so the line is not checked.)
TEST_F(XmlParserWinTest, MalformedOrMissingFilesGiveTheParsersReason) {
  const std::string malformed = folder.File("bad.xml");
  WriteBytes(malformed, "<Product>\r\n<Version>5</Product>\r\n");
  for (const std::string& file : {malformed, folder.File("missing.xml")}) {
    SCOPED_TRACE(file);
    const XmlResult<std::unique_ptr<XmlElement>> loaded = parser.LoadDocumentElement(file);
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().system(), nullptr);
    try {
      loaded.error().Raise();
    } catch (const std::runtime_error& error) {
      EXPECT_STRNE(error.what(), "");
    }
  }
}

}  // namespace
}  // namespace dpc::win32
