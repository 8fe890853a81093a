#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/dynamic_library.h"
#include "platform/installer_link.h"
#include "platform/instance_guard.h"
#include "platform/process.h"
#include "platform/profile_store.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/xml.h"

namespace dpc::test {

class FakeProcessInfo : public ProcessInfo {
 public:
  // A major version of 0 stands for a system that will not tell it.
  OsResult<uint32_t> OsMajorVersion() override {
    if (majorVersion == 0) return OsError{87, "GetVersionExW", "The parameter is incorrect."};
    return majorVersion;
  }
  // An integrity RID of 0 stands for a token whose label cannot be read.
  OsResult<uint32_t> QueryIntegrityRid() override {
    if (integrityRid == 0) return OsError{5, "OpenProcessToken", "Access is denied."};
    return integrityRid;
  }
  OsResult<std::string> ExecutablePath() override {
    if (exePathError) return *exePathError;
    return exePath;
  }
  OsResult<std::vector<std::string>> Arguments() override {
    if (argumentsError) return *argumentsError;
    return arguments;
  }
  OsResult<std::string> SystemErrorText(uint32_t code) override {
    auto it = errorTexts.find(code);
    return it == errorTexts.end() ? std::string() : it->second;
  }

  uint32_t majorVersion = 6;
  uint32_t integrityRid = 0x2000;
  std::string exePath = "C:\\Program Files\\Durvin\\DurvinProofControl.exe";
  std::optional<OsError> exePathError;  // set: the system cannot name the executable
  std::vector<std::string> arguments;
  std::optional<OsError> argumentsError;  // set: the system cannot split the command line
  std::map<uint32_t, std::string> errorTexts;
};

class FakeShell : public Shell {
 public:
  struct ExecuteCall {
    WindowId owner;
    std::string verb, file, parameters, directory;
    ShowMode show;
  };
  struct WinExecCall {
    std::string commandLine;
    ShowMode show;
    std::string directory;
  };

  OsStatus ExecuteEx(const ShellExecuteRequest& request) override {
    executeEx.push_back(request);
    if (executeExResults.empty()) return OsStatus::Success();
    auto result = executeExResults.front();
    executeExResults.erase(executeExResults.begin());
    return result;
  }
  OsStatus Execute(WindowId owner, const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& directory,
                   ShowMode show) override {
    execute.push_back({owner, verb, file, parameters, directory, show});
    return executeResult;
  }
  OsStatus WinExec(const std::string& commandLine, ShowMode show,
                   const std::string& directory) override {
    winExec.push_back({commandLine, show, directory});
    return winExecResult;
  }
  OsResult<std::string> SpecialFolderPath(SpecialFolder folder) override {
    auto it = specialFolders.find(folder);
    if (it == specialFolders.end()) return OsError{2, "SHGetFolderPathW", "Not found."};
    return it->second;
  }

  std::vector<ShellExecuteRequest> executeEx;
  // Results of successive ExecuteEx calls; success once exhausted.
  std::vector<OsStatus> executeExResults;
  std::vector<ExecuteCall> execute;
  OsStatus executeResult;
  std::vector<WinExecCall> winExec;
  OsStatus winExecResult;
  std::map<SpecialFolder, std::string> specialFolders;
};

// HKEY_LOCAL_MACHINE as a map of key path to values. Key paths compare as written.
class FakeRegistry : public Registry {
 public:
  struct Key {
    std::map<std::string, std::string> values;
    bool readOnly = false;
  };
  // A missing key fails with 2, as Windows would.
  OsResult<std::unique_ptr<RegistryKey>> OpenMachineKey(const std::string& path,
                                                        KeyAccess access) override {
    opens.push_back({path, access});
    auto it = keys.find(path);
    if (it == keys.end())
      return OsError{2, "RegOpenKeyExW", "The system cannot find the file specified."};
    return std::unique_ptr<RegistryKey>(std::make_unique<OpenKey>(it->second));
  }
  std::map<std::string, Key> keys;
  std::vector<std::pair<std::string, KeyAccess>> opens;

 private:
  class OpenKey : public RegistryKey {
   public:
    explicit OpenKey(Key& key) : key_(key) {}
    OsResult<bool> ValueExists(const std::string& name) override {
      return key_.values.count(name) > 0;
    }
    OsResult<std::string> ReadString(const std::string& name) override {
      auto it = key_.values.find(name);
      if (it == key_.values.end()) return OsError{2, "RegQueryValueExW", "Not found."};
      return it->second;
    }
    OsStatus WriteString(const std::string& name, const std::string& value) override {
      if (key_.readOnly) return OsError{5, "RegSetValueExW", "Access is denied."};
      key_.values[name] = value;
      return OsStatus::Success();
    }
    OsStatus DeleteValue(const std::string& name) override {
      if (key_.readOnly) return OsError{5, "RegDeleteValueW", "Access is denied."};
      if (key_.values.erase(name) == 0) return OsError{2, "RegDeleteValueW", "Not found."};
      return OsStatus::Success();
    }

   private:
    Key& key_;
  };
};

// INI files: file -> section -> key -> value. Section and key names match without regard to
// case, as the private-profile functions do.
class FakeProfileStore : public ProfileStore {
 public:
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& fallback) override {
    ++reads;
    auto f = data.find(file);
    if (f == data.end()) return fallback;
    auto s = f->second.find(Lower(section));
    if (s == f->second.end()) return fallback;
    auto k = s->second.find(Lower(key));
    return k == s->second.end() ? fallback : k->second;
  }
  OsStatus WriteString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) override {
    if (readOnly) return OsError{5, "WritePrivateProfileStringW", "Access is denied."};
    data[file][Lower(section)][Lower(key)] = value;
    return OsStatus::Success();
  }
  void Set(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value) {
    data[file][Lower(section)][Lower(key)] = value;
  }
  static std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
  }
  std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> data;
  bool readOnly = false;
  int reads = 0;
};

// A tiny XML tree; documents are registered by path.
struct FakeXmlNode {
  std::string name;
  std::string text;
  std::vector<FakeXmlNode> children;
};

class FakeXmlParser : public XmlParser {
 public:
  XmlResult<std::unique_ptr<XmlElement>> LoadDocumentElement(const std::string& path) override {
    ++loads;
    if (auto bad = malformed.find(path); bad != malformed.end())
      return XmlError::ParserWords(bad->second);
    auto it = documents.find(path);
    if (it == documents.end())
      return XmlError::ParserWords("The system cannot find the file specified.");
    return std::unique_ptr<XmlElement>(std::make_unique<Element>(it->second));
  }
  std::map<std::string, FakeXmlNode> documents;
  std::map<std::string, std::string> malformed;  // path -> parser's reason
  int loads = 0;

 private:
  class Element : public XmlElement {
   public:
    explicit Element(const FakeXmlNode& node) : node_(node) {}
    OsResult<std::unique_ptr<XmlElement>> Child(const std::string& name) override {
      for (auto& c : node_.children)
        if (c.name == name) return std::unique_ptr<XmlElement>(std::make_unique<Element>(c));
      return std::unique_ptr<XmlElement>();
    }
    OsResult<std::string> Text() override {
      std::string all = node_.text;
      for (auto& c : node_.children) all += *Element(c).Text();
      return all;
    }

   private:
    const FakeXmlNode& node_;
  };
};

class FakeDesktop : public Desktop {
 public:
  OsStatus ShowMessage(const std::string& title, const std::string& text) override {
    messages.push_back({title, text});
    if (onShow) onShow();
    return OsStatus::Success();
  }
  OsResult<bool> TopLevelWindowExists(const std::string& title) override {
    return windows.count(title) > 0;
  }
  OsResult<std::optional<std::string>> ChooseFileToOpen(WindowId owner,
                                                        const std::string& initialDir,
                                                        const std::string& title,
                                                        const std::string& filter) override {
    openDialogs.push_back({owner, initialDir, title, filter});
    if (dialogError) return *dialogError;
    return chosenFile;
  }
  struct Message {
    std::string title, text;
  };
  struct OpenDialog {
    WindowId owner;
    std::string initialDir, title, filter;
  };
  std::vector<Message> messages;
  std::function<void()> onShow;  // runs while the box is "open"
  std::set<std::string> windows;
  std::vector<OpenDialog> openDialogs;
  std::optional<std::string> chosenFile;
  std::optional<OsError> dialogError;  // the open dialog fails with it
};

class FakeInstanceGuard : public InstanceGuard {
 public:
  OsStatus Release() override {
    ++releases;
    return OsStatus::Success();
  }
  int releases = 0;
};

// Named events as Microsoft documents them: anybody may create one in Global\ (the privilege
// covers file mappings only); an existing name opens that event; an owner not the token's default
// needs SE_GROUP_OWNER, which no standard or UAC-filtered token holds for Administrators.
class FakeInstallerLink : public InstallerLink {
 public:
  static constexpr char kAdministrators[] = "S-1-5-32-544";
  enum class Account { StandardUser, FilteredAdministrator, ElevatedAdministrator, LocalSystem };

  // Creates the event as the account would, with `owner` ("" for the token's default).
  void Create(const std::string& name, Account account, const std::string& owner, bool raise) {
    const bool admin = account == Account::ElevatedAdministrator || account == Account::LocalSystem;
    const std::string self = account == Account::LocalSystem ? "S-1-5-18" : "S-1-5-21-7-7-7-1001";
    if (events.count(name) ||
        (!owner.empty() && owner != self && !(admin && owner == kAdministrators)))
      return;  // ERROR_ALREADY_EXISTS, ERROR_INVALID_OWNER
    const bool elevated = account == Account::ElevatedAdministrator;
    events[name] = {raise, !owner.empty() ? owner : elevated ? kAdministrators : self};
  }
  OsResult<std::string> PublishedCloseSignal() override { return published; }
  OsResult<CloseSignalState> ReadCloseSignal(const std::string& name) override {
    auto it = events.find(name);
    if (it == events.end()) return OsError{2, "OpenEventW", "The file cannot be found."};
    return it->second;
  }
  OsStatus RegisterForRestart() override {
    ++restartRegistrations;
    return OsStatus::Success();
  }

  std::map<std::string, CloseSignalState> events;
  std::string published;
  int restartRegistrations = 0;
};

// Libraries by name, each a table of export addresses.
class FakeLibraryLoader : public LibraryLoader {
 public:
  OsResult<std::unique_ptr<DynamicLibrary>> Load(const std::string& name) override {
    loads.push_back(name);
    auto it = libraries.find(name);
    if (it == libraries.end()) return OsError{126, "LoadLibraryExW", "Module not found."};
    return std::unique_ptr<DynamicLibrary>(std::make_unique<Library>(it->second, unloads));
  }
  std::map<std::string, std::map<std::string, void*>> libraries;
  std::vector<std::string> loads;
  int unloads = 0;

 private:
  class Library : public DynamicLibrary {
   public:
    Library(const std::map<std::string, void*>& exports, int& unloads)
        : exports_(exports), unloads_(unloads) {}
    ~Library() override { ++unloads_; }
    OsResult<void*> Symbol(const char* name) override {
      auto it = exports_.find(name);
      if (it == exports_.end()) return OsError{127, "GetProcAddress", "Procedure not found."};
      return it->second;
    }

   private:
    std::map<std::string, void*> exports_;
    int& unloads_;
  };
};

}  // namespace dpc::test
