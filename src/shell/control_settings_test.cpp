#include "shell/control_settings.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_file_system.h"
#include "fakes/fake_system.h"
#include "shell/numbers.h"
#include "platform/paths.h"

namespace dpc {
namespace {

constexpr char kIni[] = "C:\\Durvin\\DurvinProofControl.ini";
constexpr char kXml[] = "C:\\Durvin\\DurvinProofControl.xml";
constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5A1E}";

struct SettingsFiles {
  test::FakeFileSystem files;
  test::FakeProfileStore profiles;
  SettingsFiles& Set(const char* section, const char* key, const char* value) {
    files.AddFile(kIni, "");
    profiles.Set(kIni, section, key, value);
    return *this;
  }
  ControlSettings Load() { return LoadControlSettings(files, profiles, kIni); }
};

TEST(Paths, SiblingFilesAndNamesComeFromTheExecutablePath) {
  const char* cases[][4] = {
      {"C:\\Durvin\\Control.exe", "C:\\Durvin\\Control.ini", "C:\\Durvin\\", "Control"},
      {"C:\\Durvin 5.0\\Control", "C:\\Durvin 5.0\\Control.ini", "C:\\Durvin 5.0\\", "Control"},
      {"C:\\Tools\\Proof.Control.exe", "C:\\Tools\\Proof.Control.ini", "C:\\Tools\\",
       "Proof.Control"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceExtension(c[0], ".ini"), c[1]);
    EXPECT_EQ(FolderOf(c[0]), c[2]);
    EXPECT_EQ(FileStem(c[0]), c[3]);
  }
}

TEST(ControlSettings, MissingFileAndMissingKeysHaveTheirOwnDefaults) {
  SettingsFiles missing, empty;
  empty.files.AddFile(kIni, "");
  const ControlSettings none = missing.Load(), keyless = empty.Load();
  EXPECT_EQ(missing.profiles.reads, 0);
  EXPECT_EQ(none.RestartTime, "");
  EXPECT_EQ(keyless.RestartTime, "0");
  for (const ControlSettings& s : {none, keyless}) {
    EXPECT_EQ(s.RestartEnabled + s.RestartDay + s.PMSettingsEnabled + s.WebProfilerEnabled, 0);
    EXPECT_FALSE(s.HideUpdater || s.HideServerConfiguration || s.HideClientStart ||
                 s.HidePopupMenu || s.Notifications);
    EXPECT_EQ(s.WebProfilerAddress, "http://localhost:8080/");
  }
}

TEST(ControlSettings, WholeNumbersFallBackOnTextAndOnlyTheTextOneHides) {
  const ControlSettings s = SettingsFiles()
                                .Set("restart", "serverrestartenabled", "1")
                                .Set("Restart", "Day", "Monday")
                                .Set("Settings", "PMSettingsEnabled", "2")
                                .Set("Settings", "WebProfilerEnabled", "0x1")
                                .Load();
  EXPECT_EQ(s.RestartEnabled, 1);
  EXPECT_EQ(s.RestartDay, 0);
  EXPECT_EQ(s.PMSettingsEnabled, 2);
  EXPECT_EQ(s.WebProfilerEnabled, 0);
  for (const char* bad : {"", "+-1", "2147483648", "1.5", " 1"}) {
    EXPECT_EQ(ParseWholeNumber(bad), std::nullopt) << bad;
  }

  for (const char* value : {"1", "yes", "true", "01"}) {
    SettingsFiles f;
    for (const char* key : {"HideUpdater", "HideServerConfiguration", "HideClientStart",
                            "HidePopupMenu", "Notifications"}) {
      f.Set("Control", key, value);
    }
    const ControlSettings c = f.Load();
    const bool hides = std::string(value) == "1";
    EXPECT_EQ(c.HideUpdater && c.HideServerConfiguration && c.HideClientStart && c.HidePopupMenu &&
                  c.Notifications,
              hides)
        << value;
    EXPECT_EQ(c.HideUpdater || c.HideServerConfiguration || c.HideClientStart || c.HidePopupMenu ||
                  c.Notifications,
              hides)
        << value;
  }
}

TEST(ControlSettings, ProductVersionAndFeedbackMoment) {
  SettingsFiles f;
  EXPECT_EQ(ReadProductVersion(f.files, f.profiles, kIni), "5.0");
  f.Set("Other", "Key", "x");
  EXPECT_EQ(ReadProductVersion(f.files, f.profiles, kIni), "4.0");

  const std::pair<const char*, int64_t> feedback[] = {
      {"63900000000.4", 63900000000},
      {"63900000000.5", 63900000001},
      {"63900000000,6", 63900000001},
      {"", 0},
      {"soon", 0},
      {"1.000,5", 0},
      {"1e400", 0},
  };
  for (const auto& [stored, due] : feedback) {
    f.profiles.Set(kIni, "Feedback", "Timer", stored);
    EXPECT_EQ(ReadFeedbackDue(f.profiles, kIni), due) << stored;
  }
  WriteFeedbackDue(f.profiles, kIni, 63912345678);
  EXPECT_EQ(f.profiles.ReadString(kIni, "Feedback", "Timer", ""), "63912345678");
}

struct ProductFiles {
  test::FakeFileSystem files;
  test::FakeXmlParser xml;
  test::FakeRegistry registry;
  explicit ProductFiles(std::vector<test::FakeXmlNode> mainChildren, bool withMain = true) {
    files.AddFile(kXml, "<product/>");
    xml.documents[kXml] = {"product", "", {{withMain ? "main" : "other", "", mainChildren}}};
  }
  ProductInfo Load() { return LoadProductInfo(files, xml, registry, kXml); }
};

TEST(ProductInfo, FindsTheClientThroughTheUninstallEntry) {
  ProductFiles f({{"productguid", " {5A1E}\n", {}}, {"clientname", " Durvin_Proof.exe ", {}}});
  EXPECT_FALSE(f.Load().ClientAvailable);  // no uninstall key: looked for at the root
  f.files.AddFile("\\Durvin_Proof.exe", "");
  EXPECT_TRUE(f.Load().ClientAvailable);

  f.registry.keys[kUninstall].values["InstallLocation"] = "C:\\Client";
  f.files.AddFile("C:\\Client\\Durvin_Proof.exe", "");
  const ProductInfo info = f.Load();
  EXPECT_EQ(info.ProductGuid, "{5A1E}");
  EXPECT_EQ(info.InstallLocation, "C:\\Client");
  EXPECT_TRUE(info.ClientAvailable);
  EXPECT_EQ(f.registry.opens.back().second, KeyAccess::Read);
}

TEST(ProductInfo, MissingFileIsQuietButMalformedOrMainlessThrows) {
  ProductFiles missing({});
  ASSERT_TRUE(missing.files.RemoveFile(kXml));
  EXPECT_FALSE(missing.Load().ClientAvailable);
  EXPECT_EQ(missing.xml.loads, 0);

  ProductFiles malformed({});
  malformed.xml.malformed[kXml] = "Unexpected end of input.";
  EXPECT_THROW(malformed.Load(), std::runtime_error);
  ProductFiles noMain({}, false);
  EXPECT_THROW(noMain.Load(), std::runtime_error);
}

}  // namespace
}  // namespace dpc
