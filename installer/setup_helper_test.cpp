#include "setup_helper.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace dpc::setup {
namespace {

// What the helper does with the arguments is proved by the installations under Wine
// (tests/windows/installer_test.cpp); these are the command lines Windows Installer cannot be
// made to pass there.

TEST(SetupHelperCommandLine, TakesQuotedItemsAfterTheProgramAndStep) {
  const Request request = ParseCommandLine(
      "\"C:\\Windows\\Temp\\MSI 1.tmp\" install \"EXE=C:\\P Q\\D.exe\" \"RESTARTTIME=\"  "
      "\"CLIENTNAME=sub\\\" \"WEBPROFILERADDRESS=http://h/?a=1\"");
  EXPECT_EQ(request.step, Step::kInstall);
  EXPECT_EQ(request.Get("EXE"), "C:\\P Q\\D.exe");
  EXPECT_EQ(request.Get("RESTARTTIME"), "");
  EXPECT_EQ(request.Get("CLIENTNAME"), "sub\\");  // a trailing backslash escapes nothing
  EXPECT_EQ(request.Get("WEBPROFILERADDRESS"), "http://h/?a=1");
  EXPECT_EQ(ParseCommandLine("C:\\msi.tmp uninstall").step, Step::kUninstall);
}

TEST(SetupHelperCommandLine, RefusesWhatCouldWriteSomethingElse) {
  const char* refused[] = {
      "p.tmp repair \"EXE=x\"",                               // unknown step
      "p.tmp install \"SERVERNAME=x\"",                       // unknown name
      "p.tmp install \"RESTARTDAY=1\" \"RESTARTDAY=2\"",      // given twice
      "p.tmp install \"RESTARTTIME=3\" \"HIDEUPDATER=1\"\"",  // a quote inside a value
      "p.tmp install \"RESTARTTIME=3\"x",                     // text after the closing quote
      "p.tmp install EXE=x",                                  // not quoted
      "p.tmp install \"RESTARTTIME=03:00\r\n[Control]\r\nHidePopupMenu=1\"",  // a new line
  };
  for (const char* line : refused) {
    EXPECT_THROW(ParseCommandLine(line), std::invalid_argument) << line;
  }
}

}  // namespace
}  // namespace dpc::setup
