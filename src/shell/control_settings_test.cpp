#include "shell/control_settings.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_system.h"
#include "shell/numbers.h"
#include "shell/paths.h"

namespace dpc {
namespace {

constexpr char kIni[] = "C:\\Program Files\\Durvin\\DurvinProofControl.ini";
constexpr char kXml[] = "C:\\Program Files\\Durvin\\DurvinProofControl.xml";
constexpr char kGuid[] = "{5A1E-77}";
constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5A1E-77}";

struct SettingsFiles {
  test::FakeFileSystem files;
  test::FakeProfileStore profiles;
  void CreateIni() { files.files[kIni] = ""; }
  void Set(const char* section, const char* key, const char* value) {
    CreateIni();
    profiles.Set(kIni, section, key, value);
  }
  ControlSettings Load() { return LoadControlSettings(files, profiles, kIni); }
};

TEST(Paths, SiblingFilesAndNamesComeFromTheExecutablePath) {
  struct Case {
    const char* exe;
    const char* ini;
    const char* folder;
    const char* stem;
  };
  const Case cases[] = {
      {"C:\\Program Files\\Durvin\\Control.exe", "C:\\Program Files\\Durvin\\Control.ini",
       "C:\\Program Files\\Durvin\\", "Control"},
      {"C:\\Durvin 5.0\\Control.exe", "C:\\Durvin 5.0\\Control.ini", "C:\\Durvin 5.0\\", "Control"},
      {"C:\\Durvin 5.0\\Control", "C:\\Durvin 5.0\\Control.ini", "C:\\Durvin 5.0\\", "Control"},
      {"C:\\Tools\\Proof.Control.exe", "C:\\Tools\\Proof.Control.ini", "C:\\Tools\\",
       "Proof.Control"},
      {"Control.exe", "Control.ini", "", "Control"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exe);
    EXPECT_EQ(ReplaceExtension(c.exe, ".ini"), c.ini);
    EXPECT_EQ(FolderOf(c.exe), c.folder);
    EXPECT_EQ(FileStem(c.exe), c.stem);
  }
}

TEST(Numbers, WholeNumbersAreDecimalOnly) {
  EXPECT_EQ(ParseWholeNumber("42"), 42);
  EXPECT_EQ(ParseWholeNumber("-7"), -7);
  EXPECT_EQ(ParseWholeNumber("+7"), 7);
  EXPECT_EQ(ParseWholeNumber("2147483647"), 2147483647);
  for (const char* bad : {"", "yes", "1.5", "12a", " 1", "+-1", "++1", "2147483648", "0x10"}) {
    EXPECT_EQ(ParseWholeNumber(bad), std::nullopt) << bad;
  }
}

TEST(ControlSettings, MissingFileAndMissingKeysHaveTheirOwnDefaults) {
  SettingsFiles missing;
  const ControlSettings none = missing.Load();
  EXPECT_FALSE(none.SettingsFileFound);
  EXPECT_EQ(none.RestartTime, "");
  EXPECT_EQ(missing.profiles.reads, 0);

  SettingsFiles empty;
  empty.CreateIni();
  const ControlSettings keyless = empty.Load();
  EXPECT_TRUE(keyless.SettingsFileFound);
  EXPECT_EQ(keyless.RestartTime, "0");

  for (const ControlSettings& s : {none, keyless}) {
    EXPECT_EQ(s.RestartEnabled, 0);
    EXPECT_EQ(s.RestartDay, 0);
    EXPECT_EQ(s.PMSettingsEnabled, 0);
    EXPECT_EQ(s.WebProfilerEnabled, 0);
    EXPECT_FALSE(s.HideUpdater || s.HideServerConfiguration || s.HideClientStart ||
                 s.HidePopupMenu);
    EXPECT_EQ(s.WebProfilerAddress, "http://localhost:8080/");
  }
}

TEST(ControlSettings, OnlyTheTextOneHides) {
  for (const char* value : {"1", "yes", "true", "01", "0", ""}) {
    SettingsFiles f;
    f.Set("Control", "HideUpdater", value);
    f.Set("Control", "HideServerConfiguration", value);
    f.Set("Control", "HideClientStart", value);
    f.Set("Control", "HidePopupMenu", value);
    const ControlSettings s = f.Load();
    const bool hides = std::string(value) == "1";
    EXPECT_EQ(s.HideUpdater, hides) << value;
    EXPECT_EQ(s.HideServerConfiguration, hides) << value;
    EXPECT_EQ(s.HideClientStart, hides) << value;
    EXPECT_EQ(s.HidePopupMenu, hides) << value;
  }
}

TEST(ControlSettings, ReadsWholeNumbersAndFallsBackOnText) {
  SettingsFiles f;
  f.Set("restart", "serverrestartenabled", "1");  // names match without regard to case
  f.Set("Restart", "Day", "Monday");
  f.Set("Restart", "Time", "03:00:00");
  f.Set("Settings", "PMSettingsEnabled", "2");
  f.Set("Settings", "WebProfilerEnabled", "2");
  f.Set("Settings", "WebProfilerAddress", "http://proof:9000/");
  const ControlSettings s = f.Load();
  EXPECT_EQ(s.RestartEnabled, 1);
  EXPECT_EQ(s.RestartDay, 0);
  EXPECT_EQ(s.RestartTime, "03:00:00");
  EXPECT_EQ(s.PMSettingsEnabled, 2);
  EXPECT_EQ(s.WebProfilerEnabled, 2);
  EXPECT_EQ(s.WebProfilerAddress, "http://proof:9000/");
}

TEST(ControlSettings, ProductVersionDefaultsDifferBetweenMissingFileAndMissingKey) {
  SettingsFiles f;
  EXPECT_EQ(ReadProductVersion(f.files, f.profiles, kIni), "5.0");
  f.CreateIni();
  EXPECT_EQ(ReadProductVersion(f.files, f.profiles, kIni), "4.0");
  f.Set("Product", "Version", "5.2");
  EXPECT_EQ(ReadProductVersion(f.files, f.profiles, kIni), "5.2");
}

TEST(ControlSettings, FeedbackDueIsTheNearestWholeSecond) {
  struct Case {
    const char* stored;
    int64_t due;
  };
  const Case cases[] = {
      {"63900000000", 63900000000},
      {"63900000000.4", 63900000000},
      {"63900000000.5", 63900000001},
      {"63900000000,6", 63900000001},
      {"", 0},
      {"soon", 0},
      {"1.000,5", 0},
      {"1e400", 0},
      {"nan", 0},
  };
  for (const auto& c : cases) {
    test::FakeProfileStore profiles;
    profiles.Set(kIni, "Feedback", "Timer", c.stored);
    EXPECT_EQ(ReadFeedbackDue(profiles, kIni), c.due) << c.stored;
  }
  test::FakeProfileStore profiles;
  EXPECT_EQ(ReadFeedbackDue(profiles, kIni), 0);
  WriteFeedbackDue(profiles, kIni, 63912345678);
  EXPECT_EQ(profiles.ReadString(kIni, "Feedback", "Timer", ""), "63912345678");
}

struct ProductFiles {
  test::FakeFileSystem files;
  test::FakeXmlParser xml;
  test::FakeRegistry registry;
  void WriteXml(test::FakeXmlNode root) {
    files.files[kXml] = "<xml/>";
    xml.documents[kXml] = std::move(root);
  }
  ProductInfo Load() { return LoadProductInfo(files, xml, registry, kXml); }
};

test::FakeXmlNode ProductDocument(const std::string& guid, const std::string& client) {
  return {"product", "", {{"main", "", {{"productguid", guid, {}}, {"clientname", client, {}}}}}};
}

TEST(ProductInfo, FindsTheClientThroughTheUninstallEntry) {
  ProductFiles f;
  f.WriteXml(ProductDocument("  {5A1E-77}\n", " Durvin_Proof.exe "));
  f.registry.keys[kUninstall].values["InstallLocation"] = "C:\\Durvin Client";
  f.files.files["C:\\Durvin Client\\Durvin_Proof.exe"] = "";
  const ProductInfo info = f.Load();
  EXPECT_EQ(info.ProductGuid, kGuid);
  EXPECT_EQ(info.ClientName, "Durvin_Proof.exe");
  EXPECT_EQ(info.InstallLocation, "C:\\Durvin Client");
  EXPECT_TRUE(info.ClientAvailable);
  ASSERT_EQ(f.registry.opens.size(), 1u);
  EXPECT_EQ(f.registry.opens[0].second, reg::kRead);
}

TEST(ProductInfo, MissingFileOrUninstallEntryLeavesTheClientUnavailable) {
  ProductFiles missing;
  const ProductInfo none = missing.Load();
  EXPECT_FALSE(none.ClientAvailable);
  EXPECT_EQ(missing.xml.loads, 0);

  ProductFiles noKey;
  noKey.WriteXml(ProductDocument(kGuid, "Client.exe"));
  const ProductInfo keyless = noKey.Load();
  EXPECT_EQ(keyless.InstallLocation, "");
  EXPECT_FALSE(keyless.ClientAvailable);
  // Without an install location the client is looked for at the root.
  noKey.files.files["\\Client.exe"] = "";
  EXPECT_TRUE(noKey.Load().ClientAvailable);

  ProductFiles noGuid;
  noGuid.WriteXml(ProductDocument("", "Client.exe"));
  EXPECT_EQ(noGuid.Load().InstallLocation, "");
  EXPECT_TRUE(noGuid.registry.opens.empty());
}

TEST(ProductInfo, MalformedFileOrMissingMainThrows) {
  ProductFiles malformed;
  malformed.files.files[kXml] = "<product";
  malformed.xml.malformed[kXml] = "Unexpected end of input.";
  EXPECT_THROW(malformed.Load(), std::runtime_error);

  ProductFiles noMain;
  noMain.WriteXml({"product", "", {{"other", "", {}}}});
  EXPECT_THROW(noMain.Load(), std::runtime_error);
}

}  // namespace
}  // namespace dpc
