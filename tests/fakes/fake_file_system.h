#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/code_page.h"
#include "platform/file_system.h"

namespace dpc::test {

// Drives C:, D: and E: as one in-memory tree. Paths compare without regard to the case of A-Z,
// as on Windows; names keep the case they were made with. Failures are staged per path. A path
// without a drive letter ("\\name") is a file at the root of no drive in particular.
class FakeFileSystem : public FileSystem {
 public:
  struct Node {
    std::string name;
    bool folder = false;
    uint32_t attributes = 0;
    std::string content;
    uint64_t extraSize = 0;  // a large file without its bytes
    uint64_t id = 0;
    std::string owner = {};  // "controller" for files this process made
    uint32_t tag = 0;        // reparse tag
    bool exactName = true;   // false: a name with a lone UTF-16 surrogate, shown approximately
    FileTimes times = {};
    // Security: the owner, whether the list is protected, and its own entries; the parent's
    // inheritable entries are added when it is read, as Windows passes them on.
    std::string ownerSid = sid::kAdministrators;
    bool isProtected = false;
    std::vector<Ace> aces = {};
    std::map<std::string, std::string> streams = {};  // named data streams
    std::vector<ByteRange> ranges = {};               // what a sparse file holds
  };
  static constexpr char kProcessUser[] = "S-1-5-21-1-2-3-500";

  FakeFileSystem() {
    for (char letter : {'C', 'D', 'E'}) drives[letter] = DriveKind::Fixed;
  }

  // Building trees.
  void AddFolder(const std::string& path, uint32_t attributes = 0) {
    MakeFolders(path);
    nodes_.at(Key(path)).attributes = attributes | file_attribute::kDirectory;
  }
  void AddFile(const std::string& path, const std::string& content, uint32_t attributes = 0,
               uint64_t extraSize = 0, uint32_t tag = 0) {
    MakeFolders(ParentOf(path));
    Node& node = nodes_[Key(path)];
    node = Node{LastName(path), false, attributes, content, extraSize, ++lastId_};
    node.tag = tag;
    node.times = {kStartTime + node.id, kStartTime + node.id, kStartTime + node.id};
  }
  // A second name for an existing file: the same file, as a hard link is.
  void AddHardLink(const std::string& link, const std::string& target) {
    MakeFolders(ParentOf(link));
    aliases_[Key(link)] = target;
    Node node = nodes_.at(Key(target));
    node.name = LastName(link);
    nodes_[Key(link)] = node;
  }
  // The name as the system holds it has a lone UTF-16 surrogate; the path shows it approximately.
  void MarkInexactName(const std::string& path) { nodes_.at(Key(path)).exactName = false; }
  // A path that leads to another, as a short name or a junction does.
  void AddAlias(const std::string& alias, const std::string& target) {
    aliases_[Key(alias)] = target;
  }
  // A link as Wine shows a Unix link to a folder: listed and asked by name as a reparse point
  // without a tag, opened as its target (the target's identity).
  void AddLink(const std::string& link, const std::string& target, uint32_t tag = 0) {
    MakeFolders(ParentOf(link));
    aliases_[Key(link)] = target;
    nodes_[Key(link)] = Node{LastName(link), true, file_attribute::kReparsePoint, "", 0, ++lastId_};
    nodes_[Key(link)].tag = tag;
  }
  // Replaces a folder by a link to another place, as another program would between a check
  // and a use. Fails with a sharing violation, as Windows does, while the folder or anything
  // below it is held open.
  std::optional<OsError> SwapForLink(const std::string& path, const std::string& target) {
    const std::string key = Key(Resolve(path));
    if (HeldAtOrBelow(key)) return OsError{32, "MoveFileExW", "In use by another process."};
    const std::string prefix = key + "\\";
    for (auto it = nodes_.lower_bound(prefix);
         it != nodes_.end() && StartsWith(it->first, prefix);) {
      it = nodes_.erase(it);
    }
    nodes_.erase(key);
    AddLink(path, target);
    return std::nullopt;
  }
  // Turns an empty folder into a mount point to another place. Windows allows it while the
  // folder is held open: setting a reparse point takes only write-data or write-attributes
  // access, which sharing does not restrict (MS-FSA 2.1.5.10.37). Opens by path then lead to the
  // target; opens through a handle of the folder still reach the folder itself.
  std::optional<OsError> MountOnHeld(const std::string& path, const std::string& target) {
    const auto lock = Lock();
    const std::string key = Key(Resolve(path));
    auto it = nodes_.find(key);
    if (it == nodes_.end() || !it->second.folder)
      return OsError{267, "FSCTL_SET_REPARSE_POINT", ""};
    if (!Children(key).empty()) return OsError{145, "FSCTL_SET_REPARSE_POINT", "Not empty."};
    it->second.attributes |= file_attribute::kReparsePoint;
    it->second.tag = reparse_tag::kMountPoint;
    aliases_[key] = target;
    return std::nullopt;
  }
  // The security of a file or folder (or of a drive's root, "E:\\"), as a test stages it.
  void SetSecurity(const std::string& path, const Security& security) {
    const auto lock = Lock();
    const std::string key = Key(Resolve(path));
    if (IsRoot(key)) {
      roots_[key[0]] = security;
      return;
    }
    Node& node = nodes_.at(key);
    node.ownerSid = security.ownerSid;
    node.isProtected = security.isProtected;
    node.aces = security.dacl.value_or(std::vector<Ace>{});
  }
  // What a reader of the file's security sees: its own entries, then those it inherits.
  Security SecurityOf(const std::string& path) const {
    const auto lock = Lock();
    return Effective(Key(Resolve(path)));
  }
  void SetStream(const std::string& path, const std::string& stream, const std::string& data) {
    nodes_.at(Key(Resolve(path))).streams[stream] = data;
  }
  void MakeSparse(const std::string& path, std::vector<ByteRange> ranges) {
    Node& node = nodes_.at(Key(Resolve(path)));
    node.attributes |= file_attribute::kSparse;
    node.ranges = std::move(ranges);
  }
  void SetTimes(const std::string& path, const FileTimes& times) {
    nodes_.at(Key(Resolve(path))).times = times;
  }
  // Changes a file's bytes in place, as another program would, without changing its size.
  void Rewrite(const std::string& path, const std::string& content) {
    const auto lock = Lock();
    Node& node = nodes_.at(Key(Resolve(path)));
    node.content = content;
    node.times.lastWrite += 10'000'000;
  }
  // Folders held open now, all of them or those at or below one folder.
  int HeldNow(const std::string& below = "") const {
    const std::string top = below.empty() ? "" : Key(below);
    int held = 0;
    for (const auto& [key, count] : holds_) {
      if (top.empty() || key == top || StartsWith(key, top + "\\")) held += count;
    }
    return held;
  }
  bool Exists(const std::string& path) const { return nodes_.count(Key(Resolve(path))) > 0; }
  const Node* Find(const std::string& path) const {
    auto it = nodes_.find(Key(Resolve(path)));
    return it == nodes_.end() ? nullptr : &it->second;
  }
  std::string Content(const std::string& path) const {
    const Node* node = Find(path);
    return node ? node->content : "<missing>";
  }
  // Every file below the folder, by path relative to it, with its content.
  std::map<std::string, std::string> FilesBelow(const std::string& folder) const {
    std::map<std::string, std::string> files;
    const std::string prefix = Key(folder) + "\\";
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && StartsWith(it->first, prefix);
         ++it) {
      if (!it->second.folder) files[Stored(it->first).substr(prefix.size())] = it->second.content;
    }
    return files;
  }

  // Staged behaviour.
  std::map<char, DriveKind> drives;
  std::map<char, uint64_t> capacity;            // bytes per drive; unlimited when absent
  std::map<std::string, OsError> listErrors;    // by folder path
  std::map<std::string, OsError> copyErrors;    // by source path
  std::map<std::string, OsError> createErrors;  // by folder path
  std::map<std::string, OsError> readErrors;    // by file path
  std::map<std::string, OsError> existsErrors;  // by file path
  std::optional<OsError> writeError;
  std::deque<OsError> replaceErrors;  // one per ReplaceFileWith call, then success
  std::optional<OsError> recycleError;
  bool recycleLeavesFolder = false;
  // The guarded recycling: false answers kNotSupported (Wine's shell); a staged error is the
  // shell's refusal, and leaves the tree.
  bool guardedRecycle = true;
  std::optional<OsError> guardedRecycleError;
  // The bin of every drive: nullopt for none; binKeeps false deletes for good what it is given.
  std::optional<uint64_t> binItems = 0;
  bool binKeeps = true;
  std::map<char, uint64_t> clusters;  // bytes per cluster; 1 when absent
  // Runs after each file's copy, with its source path.
  std::function<void(const std::string&)> onCopy;
  // Runs before each progress report of a large file's copy.
  std::function<void()> onProgress;
  // Runs on the copying thread before a file's copy starts, outside the fake's lock, with its
  // source path: a test may block there to hold several copies in flight.
  std::function<void(const std::string&)> beforeCopy;
  // Runs before every open through a folder's handle, with the path it opens: a test may swap
  // the name there, between the listing that found it and the open.
  std::function<void(const std::string&, OpenAs)> onOpen;
  // Runs after each chunk of data written to a file this process created, with its path.
  std::function<void(const std::string&)> onWrite;
  // Whether this process's token holds the restore privilege, and whether it was switched on.
  bool restorePrivilegeHeld = true;
  bool restorePrivilegeOn = false;
  // SetDacl's visits of children through Windows' automatic propagation.
  int propagationVisits = 0;

  // Files whose appends fail with access denied, by path.
  std::set<std::string> unwritable;
  // Last-write times that Stamp reports, by file path; 0 unless a test sets one.
  std::map<std::string, uint64_t> writeTimes;
  int stamps = 0;  // Stamp calls

  // What happened, in order: "copy <from>", "write <path>", "replace <to>", "recycle <path>".
  std::vector<std::string> journal;
  int replaceCalls = 0;

  OsResult<FolderEntry> Stat(const std::string& path) override {
    const auto lock = Lock();
    // By name a link shows as itself.
    if (auto link = nodes_.find(Key(path)); link != nodes_.end() && aliases_.count(link->first)) {
      return Entry(link->second);
    }
    const std::string key = Key(Resolve(path));
    if (IsRoot(key) && IsFolder(key)) return FolderEntry{key, file_attribute::kDirectory, 0};
    auto it = nodes_.find(key);
    if (it == nodes_.end()) return NotFound(key, "GetFileAttributesExW");
    return Entry(it->second);
  }

  OsStatus SetAttributes(const std::string& path, uint32_t attributes) override {
    const auto lock = Lock();
    auto it = nodes_.find(Key(Resolve(path)));
    if (it == nodes_.end()) return OsError{2, "SetFileAttributesW", "Not found."};
    it->second.attributes = attributes | (it->second.folder ? file_attribute::kDirectory : 0);
    return OsStatus::Success();
  }

  OsStatus RemoveFile(const std::string& path) override {
    if (const OsError* error = Staged(removeErrors, path)) return *error;
    auto it = nodes_.find(Key(Resolve(path)));
    if (it == nodes_.end() || it->second.folder) return OsError{2, "DeleteFileW", "Not found."};
    if (ReadOnly(it->second)) return AccessDenied("DeleteFileW");
    nodes_.erase(it);
    return OsStatus::Success();
  }

  OsResult<bool> FileExists(const std::string& path) override {
    if (const OsError* error = Staged(existsErrors, path)) return *error;
    const Node* node = Find(path);
    return node && !node->folder;
  }

  // Appending to a file adds to its stored bytes as given, without an ANSI conversion.
  OsStatus AppendAnsiText(const std::string& path, const std::string& text) override {
    const auto lock = Lock();
    for (const std::string& denied : unwritable) {
      if (Key(denied) == Key(path)) return AccessDenied("CreateFileW");
    }
    auto it = nodes_.find(Key(Resolve(path)));
    if (it == nodes_.end()) {
      if (!Parent(Key(path)).empty() && !IsFolder(Parent(Key(Resolve(path))))) {
        return OsError{3, "CreateFileW", "The system cannot find the path."};
      }
      AddFile(path, text);
      return OsStatus::Success();
    }
    if (it->second.folder || ReadOnly(it->second)) return AccessDenied("CreateFileW");
    it->second.content += text;
    return OsStatus::Success();
  }

  OsResult<uint64_t> FileSize(const std::string& path) override {
    const Node* node = Find(path);
    if (!node) return NotFound(Key(Resolve(path)), "GetFileAttributesExW");
    if (node->folder) return OsError{267, "GetFileAttributesExW", "The directory name is invalid."};
    return node->content.size() + node->extraSize;
  }

  OsResult<FileStamp> Stamp(const std::string& path) override {
    ++stamps;
    const auto size = FileSize(path);
    if (!size) return size.error();
    uint64_t lastWrite = 0;
    for (const auto& [where, time] : writeTimes) {
      if (Key(where) == Key(path)) lastWrite = time;
    }
    return FileStamp{*size, lastWrite};
  }

  OsResult<FileIdentity> Identity(const std::string& path) override {
    const auto lock = Lock();
    const std::string key = Key(Resolve(path));
    auto it = nodes_.find(key);
    if (it == nodes_.end()) return NotFound(key, "CreateFileW");
    return FileIdentity{static_cast<uint32_t>(key[0]), it->second.id};
  }

  OsResult<std::string> LongPathName(const std::string& path) override {
    const std::string key = Key(Resolve(path));
    if (!IsFolder(key) && nodes_.count(key) == 0) return NotFound(key, "GetLongPathNameW");
    return Stored(key);
  }

  DriveKind DriveType(char letter) override {
    auto it = drives.find(letter);
    return it == drives.end() ? DriveKind::Missing : it->second;
  }

  OsResult<DriveSpace> FreeSpace(char letter) override {
    if (DriveType(letter) == DriveKind::Missing) {
      return OsError{3, "GetDiskFreeSpaceExW", "The system cannot find the path."};
    }
    auto it = capacity.find(letter);
    const uint64_t total = it == capacity.end() ? (1ull << 40) : it->second;
    return DriveSpace{FreeBytes(letter), total};
  }

  OsStatus RecycleTree(const std::string& path) override {
    journal.push_back("recycle " + path);
    if (recycleError) return *recycleError;
    if (recycleLeavesFolder) return OsStatus::Success();
    const std::string key = Key(Resolve(path));
    if (nodes_.count(key) == 0) return OsError{2, "SHFileOperationW", "Not found."};
    if (HeldAtOrBelow(key)) return OsError{32, "SHFileOperationW", "In use."};
    const std::string prefix = key + "\\";
    for (auto it = nodes_.lower_bound(prefix);
         it != nodes_.end() && StartsWith(it->first, prefix);) {
      it = nodes_.erase(it);
    }
    nodes_.erase(key);
    if (binItems && binKeeps) ++*binItems;
    return OsStatus::Success();
  }

  OsResult<std::string> ReadFileBytes(const std::string& path) override {
    if (const OsError* error = Staged(readErrors, path)) return *error;
    const Node* node = Find(path);
    if (!node || node->folder) return OsError{2, "CreateFileW", "Not found."};
    return node->content;
  }

  OsStatus RecycleTreeGuarded(const std::string& path) override {
    if (!guardedRecycle) return OsError{50, "IFileOperation::Advise", "Not supported."};
    if (guardedRecycleError) {
      journal.push_back("refused " + path);
      return *guardedRecycleError;
    }
    return RecycleTree(path);
  }

  OsResult<uint64_t> RecycleBinItems(char) override {
    if (!binItems) return OsError{0x80004005u, "SHQueryRecycleBinW", "Unspecified error"};
    return *binItems;
  }

  OsResult<uint64_t> ClusterSize(char letter) override {
    if (DriveType(letter) == DriveKind::Missing) {
      return OsError{3, "GetDiskFreeSpaceW", "The system cannot find the path."};
    }
    auto it = clusters.find(letter);
    return it == clusters.end() ? 1 : it->second;
  }

  OsResult<std::unique_ptr<FileHandle>> OpenPath(const std::string& path, OpenAs as) override {
    const auto lock = Lock();
    // Every link on the way is followed, the last part's too.
    return OpenKey(Key(Resolve(path)), as, "CreateFileW");
  }
  OsStatus EnableRestorePrivilege() override {
    if (!restorePrivilegeHeld) return OsError{1300, "AdjustTokenPrivileges", "Not all assigned."};
    restorePrivilegeOn = true;
    return OsStatus::Success();
  }
  OsResult<std::string> ProcessUserSid() override { return std::string(kProcessUser); }
  OsResult<std::string> AccountName(const std::string& sid) override { return "name of " + sid; }

  OsStatus ReplaceFileWith(const std::string& from, const std::string& to) override {
    ++replaceCalls;
    journal.push_back("replace " + to);
    if (!replaceErrors.empty()) {
      OsError error = replaceErrors.front();
      replaceErrors.pop_front();
      return error;
    }
    auto it = nodes_.find(Key(from));
    if (it == nodes_.end()) return OsError{2, "MoveFileExW", "Not found."};
    if (auto target = nodes_.find(Key(to)); target != nodes_.end() && ReadOnly(target->second)) {
      return AccessDenied("MoveFileExW");
    }
    Node moved = it->second;
    nodes_.erase(it);
    moved.name = LastName(to);
    nodes_[Key(to)] = moved;
    return OsStatus::Success();
  }

  void SetOwner(const std::string& path, const std::string& owner) {
    nodes_.at(Key(Resolve(path))).owner = owner;
  }
  std::string Owner(const std::string& path) const {
    const Node* node = Find(path);
    return node ? node->owner : "<missing>";
  }

  // Staged for the scratch file's making and the ticket's swap.
  std::map<std::string, OsError> removeErrors;  // by file path
  std::deque<OsError> keepingReplaceErrors;     // one per ReplaceFileKeepingSecurity call

  OsStatus CreateNewFileFlushed(const std::string& path, const std::string& bytes) override {
    journal.push_back("create " + path);
    if (nodes_.count(Key(Resolve(path))) != 0)
      return OsError{80, "CreateFileW", "The file exists."};
    if (writeError) return *writeError;
    if (!IsFolder(Parent(Key(path)))) return OsError{3, "CreateFileW", "Not found."};
    AddFile(path, bytes);
    nodes_.at(Key(path)).owner = "controller";
    return OsStatus::Success();
  }

  // The replacement takes the replaced file's owner and attributes. ReplaceFileW's documented
  // failures with a backup name: after 1176 both files keep their names; after 1177 the replaced
  // file stands at the backup name and nothing at its own.
  OsStatus ReplaceFileKeepingSecurity(const std::string& from, const std::string& to,
                                      const std::string& backup) override {
    journal.push_back("replace keeping " + to);
    if (!keepingReplaceErrors.empty()) {
      OsError error = keepingReplaceErrors.front();
      keepingReplaceErrors.pop_front();
      if (auto it = nodes_.find(Key(to)); error.code == 1177 && it != nodes_.end()) {
        Node old = it->second;
        nodes_.erase(it);
        old.name = LastName(backup);
        nodes_[Key(backup)] = old;
      }
      return error;
    }
    auto source = nodes_.find(Key(from));
    auto target = nodes_.find(Key(to));
    if (source == nodes_.end() || target == nodes_.end()) return OsError{2, "ReplaceFileW", ""};
    if (ReadOnly(target->second)) return AccessDenied("ReplaceFileW");
    Node replacement = source->second;
    replacement.name = target->second.name;
    replacement.owner = target->second.owner;
    replacement.attributes = target->second.attributes;
    Node old = target->second;
    old.name = LastName(backup);
    target->second = replacement;
    nodes_.erase(source);
    nodes_[Key(backup)] = old;
    return OsStatus::Success();
  }

 private:
  static constexpr uint64_t kChunk = 1 << 20;
  static constexpr uint64_t kStartTime = 130000000000000000ull;  // 2012, as FILETIME ticks

  class Handle;
  friend class Handle;

  // A handle knows its object, not its name: where the object has gone since, it follows.
  std::string Where(const std::string& key, uint64_t id) const {
    if (IsRoot(key)) return key;
    if (auto it = nodes_.find(key); it != nodes_.end() && it->second.id == id) return key;
    for (const auto& [other, node] : nodes_) {
      if (node.id == id && !aliases_.count(other)) return other;
    }
    return {};
  }
  OsResult<std::unique_ptr<FileHandle>> OpenKey(const std::string& key, OpenAs as,
                                                const char* api) {
    const bool wantsFolder = as == OpenAs::kFolder || as == OpenAs::kNewFolder;
    if (IsRoot(key)) {
      if (!IsFolder(key)) return OsError{3, api, "The system cannot find the path."};
      return MakeHandle(key, 0, as, false);
    }
    auto it = nodes_.find(key);
    if (it == nodes_.end()) return NotFound(key, api);
    std::string at = key;
    if (as == OpenAs::kFileData && aliases_.count(key)) {
      at = Key(Resolve(Stored(key)));
      it = nodes_.find(at);
      if (it == nodes_.end()) return NotFound(at, api);
    }
    if (wantsFolder && !it->second.folder)
      return OsError{267, api, "The directory name is invalid."};
    if (!wantsFolder && as != OpenAs::kFileSecurity && it->second.folder && !aliases_.count(at)) {
      return AccessDenied(api);
    }
    return MakeHandle(at, it->second.id, as, false);
  }
  std::unique_ptr<FileHandle> MakeHandle(const std::string& key, uint64_t id, OpenAs as,
                                         bool created);
  // The security a reader sees: own entries first, then the parent's inheritable ones.
  Security Effective(const std::string& key) const {
    if (IsRoot(key)) {
      auto root = roots_.find(key[0]);
      return root != roots_.end() ? root->second : DefaultRoot();
    }
    const Node& node = nodes_.at(key);
    Security security{node.ownerSid, "", node.isProtected, node.aces};
    if (node.isProtected) return security;
    const Security above = Effective(Parent(key));
    for (const Ace& parent : above.dacl.value_or(std::vector<Ace>{})) {
      if (!(parent.flags & (node.folder ? Ace::kContainerInherit : Ace::kObjectInherit))) continue;
      Ace inherited = parent;
      inherited.flags = Ace::kInherited;
      if (node.folder && !(parent.flags & Ace::kNoPropagate)) {
        inherited.flags |= parent.flags & (Ace::kObjectInherit | Ace::kContainerInherit);
        if (!(parent.flags & Ace::kContainerInherit)) inherited.flags |= Ace::kInheritOnly;
      }
      security.dacl->push_back(inherited);
    }
    return security;
  }
  static Security DefaultRoot() {
    const uint8_t both = Ace::kObjectInherit | Ace::kContainerInherit;
    return {sid::kSystem, "", true,
            std::vector<Ace>{{Ace::Kind::kAllow, both, access::kFullControl, sid::kAdministrators},
                             {Ace::Kind::kAllow, both, access::kFullControl, sid::kSystem},
                             {Ace::Kind::kAllow, both, 0x1200a9, sid::kUsers}}};
  }
  // Windows' automatic propagation: every child not protected takes the new inheritable entries,
  // and passes them on below.
  void Propagate(const std::string& key) {
    for (const std::string& child : Children(key)) {
      ++propagationVisits;
      const Node& node = nodes_.at(child);
      if (node.folder && !node.isProtected && !aliases_.count(child)) Propagate(child);
    }
  }
  uint64_t Occupied(const Node& node) const {
    if ((node.attributes & file_attribute::kSparse) != 0 && !node.ranges.empty()) {
      uint64_t sum = 0;
      for (const ByteRange& range : node.ranges) sum += range.length;
      return sum;
    }
    return node.content.size() + node.extraSize;
  }

  // Copies made on worker threads meet the test's own calls here.
  std::unique_lock<std::recursive_mutex> Lock() const {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }
  static bool ReadOnly(const Node& node) {
    return (node.attributes & file_attribute::kReadOnly) != 0;
  }
  static OsError AccessDenied(const char* api) { return OsError{5, api, "Access is denied."}; }
  // Windows refuses to rename or delete a folder while it, or anything in it, is open.
  bool HeldAtOrBelow(const std::string& key) const {
    for (const auto* open : {&holds_, &openFiles_}) {
      for (const auto& [held, count] : *open) {
        if (count > 0 && (held == key || StartsWith(held, key + "\\"))) return true;
      }
    }
    return false;
  }

  static bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
  }
  static std::string Key(const std::string& path) {
    std::string key = path;
    while (key.size() > 2 && key.back() == '\\') key.pop_back();
    for (char& c : key) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
  }
  static std::string Parent(const std::string& key) {
    const size_t slash = key.find_last_of('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
  }
  // The parent's path, letter case kept.
  static std::string ParentOf(const std::string& path) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    const size_t slash = trimmed.find_last_of('\\');
    return slash == std::string::npos ? std::string() : trimmed.substr(0, slash);
  }
  static std::string LastName(const std::string& path) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    return trimmed.substr(trimmed.find_last_of('\\') + 1);
  }
  static bool IsRoot(const std::string& key) { return key.size() == 2 && key[1] == ':'; }
  static const OsError* Staged(const std::map<std::string, OsError>& staged,
                               const std::string& path) {
    for (const auto& [where, error] : staged) {
      if (Key(where) == Key(path)) return &error;
    }
    return nullptr;
  }

  std::string Resolve(const std::string& path) const {
    const std::string key = Key(path);
    for (const auto& [alias, target] : aliases_) {
      if (key == alias) return target;
      if (StartsWith(key, alias + "\\")) return target + path.substr(alias.size());
    }
    return path;
  }
  bool IsFolder(const std::string& key) const {
    if (IsRoot(key)) {
      auto it = drives.find(key[0]);
      return it != drives.end() && it->second != DriveKind::Missing;
    }
    auto it = nodes_.find(key);
    return it != nodes_.end() && it->second.folder;
  }
  std::vector<std::string> Children(const std::string& key) const {
    std::vector<std::string> children;
    const std::string prefix = key + "\\";
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && StartsWith(it->first, prefix);
         ++it) {
      if (it->first.find('\\', prefix.size()) == std::string::npos) children.push_back(it->first);
    }
    return children;
  }
  // The key with each name in the case it was made with.
  std::string Stored(const std::string& key) const {
    std::string path = key.substr(0, 2);
    size_t pos = 3;
    while (pos <= key.size()) {
      size_t end = key.find('\\', pos);
      if (end == std::string::npos) end = key.size();
      const auto it = nodes_.find(key.substr(0, end));
      path += "\\" + (it == nodes_.end() ? key.substr(pos, end - pos) : it->second.name);
      pos = end + 1;
    }
    return IsRoot(key) ? path + "\\" : path;
  }
  static FolderEntry Entry(const Node& node) {
    return FolderEntry{node.name, node.attributes | (node.folder ? file_attribute::kDirectory : 0),
                       node.folder ? 0 : node.content.size() + node.extraSize, node.tag,
                       node.exactName};
  }
  OsError NotFound(const std::string& key, const char* api) const {
    if (IsFolder(Parent(key))) return OsError{2, api, "The system cannot find the file."};
    return OsError{3, api, "The system cannot find the path."};
  }
  uint64_t FreeBytes(char letter) const {
    auto it = capacity.find(letter);
    if (it == capacity.end()) return 1ull << 40;
    uint64_t used = 0;
    for (const auto& [key, node] : nodes_) {
      if (key[0] == letter && !node.folder) used += Occupied(node);
    }
    return used >= it->second ? 0 : it->second - used;
  }
  void MakeFolders(const std::string& path) {
    const std::string key = Key(path);
    if (key.empty() || IsRoot(key) || nodes_.count(key) != 0) return;
    MakeFolders(ParentOf(path));
    nodes_[key] = Node{LastName(path), true, file_attribute::kDirectory, "", 0, ++lastId_};
  }

  std::map<std::string, Node> nodes_;
  std::map<std::string, std::string> aliases_;
  std::map<std::string, int> holds_;
  std::map<std::string, int> openFiles_;  // files open without sharing deletion
  std::map<char, Security> roots_;
  uint64_t lastId_ = 0;
  mutable std::recursive_mutex mutex_;
};

// An open handle of the fake. It reaches its object by identity, never by resolving a path
// again, as a Windows handle does.
class FakeFileSystem::Handle final : public FileHandle {
 public:
  Handle(FakeFileSystem& files, std::string key, uint64_t id, OpenAs as, bool created,
         std::string stream = {})
      : files_(files),
        key_(std::move(key)),
        id_(id),
        as_(as),
        created_(created),
        stream_(std::move(stream)) {
    if (Folder()) {
      ++files_.holds_[key_];
    } else if (as_ != OpenAs::kFileSecurity) {
      ++files_.openFiles_[key_];
    }
  }
  ~Handle() override {
    const auto lock = files_.Lock();
    if (Folder()) {
      --files_.holds_[key_];
    } else if (as_ != OpenAs::kFileSecurity) {
      --files_.openFiles_[key_];
    }
    if (deleteOnClose_) {
      const std::string at = Now();
      if (!at.empty()) files_.nodes_.erase(at);
    }
    if (!created_ && stream_.empty() && (as_ == OpenAs::kFile || as_ == OpenAs::kFileData) &&
        files_.onCopy) {
      files_.onCopy(path_);
    }
  }

  OsResult<HandleInfo> Info() override {
    const auto lock = files_.Lock();
    const std::string at = Now();
    if (at.empty()) return Gone("GetFileInformationByHandle");
    HandleInfo info;
    // A second name for a file is on the file's own drive.
    const char drive = files_.aliases_.count(at) ? files_.Resolve(files_.Stored(at))[0] : at[0];
    info.identity = {static_cast<uint32_t>(AsciiUpper(drive)), id_};
    if (IsRoot(at)) {
      info.attributes = file_attribute::kDirectory;
      return info;
    }
    const Node& node = files_.nodes_.at(at);
    const FolderEntry entry = Entry(node);
    info.attributes = entry.attributes;
    info.reparseTag = node.tag;
    info.size = stream_.empty() ? entry.size : node.streams.at(stream_).size();
    info.allocated = files_.Occupied(node);
    info.times = node.times;
    info.links = 0;
    for (const auto& [key, other] : files_.nodes_) info.links += other.id == id_ ? 1 : 0;
    return info;
  }
  OsResult<std::vector<FolderEntry>> List() override {
    const auto lock = files_.Lock();
    const std::string at = Now();
    if (at.empty()) return Gone("GetFileInformationByHandleEx");
    if (const OsError* error = Staged(files_.listErrors, files_.Stored(at))) return *error;
    if (!files_.IsFolder(at)) return OsError{267, "GetFileInformationByHandleEx", ""};
    std::vector<FolderEntry> entries;
    for (const std::string& child : files_.Children(at)) {
      const Node& node = files_.nodes_.at(child);
      FolderEntry entry = Entry(node);
      entry.fileId = node.id;
      entry.lastWrite = node.times.lastWrite;
      entry.allocated = files_.Occupied(node);
      entries.push_back(std::move(entry));
    }
    return entries;
  }
  OsResult<std::unique_ptr<FileHandle>> Open(const std::string& name, OpenAs as) override {
    std::string path;
    {
      const auto lock = files_.Lock();
      const std::string at = Now();
      if (at.empty()) return Gone("NtCreateFile");
      path = Join(files_.Stored(at), name);
    }
    const bool file = as == OpenAs::kFile || as == OpenAs::kFileData;
    if (file && files_.beforeCopy) files_.beforeCopy(path);
    if (files_.onOpen) files_.onOpen(path, as);
    const auto lock = files_.Lock();
    const std::string at = Now();
    if (at.empty()) return Gone("NtCreateFile");
    if (file) {
      files_.journal.push_back("copy " + path);
      if (const OsError* error = Staged(files_.copyErrors, path)) {
        if (files_.onCopy) files_.onCopy(path);
        return *error;
      }
    }
    auto opened = files_.OpenKey(at + "\\" + Key(name), as, "NtCreateFile");
    if (opened) static_cast<Handle&>(**opened).path_ = path;
    return opened;
  }
  OsResult<std::unique_ptr<FileHandle>> Create(const std::string& name, bool folder) override {
    const auto lock = files_.Lock();
    const std::string at = Now();
    if (at.empty()) return Gone("NtCreateFile");
    const std::string path = Join(files_.Stored(at), name);
    if (folder) {
      if (const OsError* error = Staged(files_.createErrors, path)) return *error;
    }
    const std::string key = at + "\\" + Key(name);
    if (files_.nodes_.count(key) != 0 || files_.aliases_.count(key) != 0) {
      return OsError{80, "NtCreateFile", "The file exists."};
    }
    Node& node = files_.nodes_[key];
    node = Node{name, folder, folder ? file_attribute::kDirectory : 0u, "", 0, ++files_.lastId_};
    node.times = {kStartTime + node.id, kStartTime + node.id, kStartTime + node.id};
    const Security admins = AdministratorsOnly();
    node.ownerSid = admins.ownerSid;
    node.isProtected = true;
    node.aces = *admins.dacl;
    node.owner = "controller";
    auto made = files_.MakeHandle(key, node.id, folder ? OpenAs::kNewFolder : OpenAs::kFile, true);
    static_cast<Handle&>(*made).path_ = path;
    return made;
  }
  OsResult<std::vector<StreamEntry>> Streams() override {
    const auto lock = files_.Lock();
    const Node* node = Object();
    if (!node) return Gone("GetFileInformationByHandleEx");
    std::vector<StreamEntry> streams;
    for (const auto& [name, data] : node->streams) streams.push_back({name, data.size()});
    return streams;
  }
  OsResult<std::unique_ptr<FileHandle>> OpenStream(const std::string& name) override {
    const auto lock = files_.Lock();
    const Node* node = Object();
    if (!node || node->streams.count(name) == 0) return Gone("NtCreateFile");
    return std::unique_ptr<FileHandle>(new Handle(files_, key_, id_, OpenAs::kFile, false, name));
  }
  OsResult<std::unique_ptr<FileHandle>> CreateStream(const std::string& name) override {
    const auto lock = files_.Lock();
    Node* node = Object();
    if (!node || !created_) return AccessDenied("NtCreateFile");
    node->streams[name];
    return std::unique_ptr<FileHandle>(new Handle(files_, key_, id_, as_, true, name));
  }
  OsResult<std::vector<ByteRange>> AllocatedRanges() override {
    const auto lock = files_.Lock();
    const Node* node = Object();
    if (!node) return Gone("DeviceIoControl");
    if ((node->attributes & file_attribute::kSparse) == 0) {
      return std::vector<ByteRange>{{0, node->content.size() + node->extraSize}};
    }
    return node->ranges;
  }
  OsStatus MakeSparse() override {
    const auto lock = files_.Lock();
    Node* node = Object();
    if (!node || !created_) return AccessDenied("DeviceIoControl");
    node->attributes |= file_attribute::kSparse;
    return OsStatus::Success();
  }
  OsResult<size_t> Read(uint64_t offset, char* buffer, size_t size) override {
    const auto lock = files_.Lock();
    const Node* node = Object();
    if (!node) return Gone("ReadFile");
    const std::string& data = stream_.empty() ? node->content : node->streams.at(stream_);
    const uint64_t total = data.size() + (stream_.empty() ? node->extraSize : 0);
    if (offset >= total) return size_t{0};
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, total - offset));
    for (size_t i = 0; i < n; ++i) buffer[i] = offset + i < data.size() ? data[offset + i] : '\0';
    return n;
  }
  OsStatus Write(uint64_t offset, const char* bytes, size_t size) override {
    const auto lock = files_.Lock();
    Node* node = Object();
    if (!node || !created_) return AccessDenied("WriteFile");
    // A full disk takes what fits and refuses the rest.
    const size_t fits = static_cast<size_t>(std::min<uint64_t>(size, files_.FreeBytes(key_[0])));
    std::string& data = stream_.empty() ? node->content : node->streams[stream_];
    if (data.size() < offset + fits) data.resize(offset + fits);
    data.replace(offset, fits, bytes, fits);
    if (files_.onWrite) files_.onWrite(path_);
    if (fits < size) return OsError{112, "WriteFile", "There is not enough space on the disk."};
    return OsStatus::Success();
  }
  OsStatus SetSize(uint64_t size) override {
    const auto lock = files_.Lock();
    Node* node = Object();
    if (!node || !created_) return AccessDenied("SetFileInformationByHandle");
    std::string& data = stream_.empty() ? node->content : node->streams[stream_];
    if (size <= data.size()) {
      data.resize(size);
      if (stream_.empty()) node->extraSize = 0;
    } else if (stream_.empty()) {
      node->extraSize = size - data.size();
    }
    return OsStatus::Success();
  }
  // The bytes move as a whole, without being read: a test's large file has none.
  OsStatus CopyData(FileHandle& target, const std::vector<ByteRange>& ranges, uint64_t sparseSize,
                    const CopyProgressCallback& progress) override {
    auto* other = dynamic_cast<Handle*>(&target);
    if (!other) return FileHandle::CopyData(target, ranges, sparseSize, progress);
    Node source;
    {
      const auto lock = files_.Lock();
      const Node* node = Object();
      if (!node) return Gone("ReadFile");
      source = *node;
    }
    const std::string data = stream_.empty() ? source.content : source.streams.at(stream_);
    const uint64_t size = data.size() + (stream_.empty() ? source.extraSize : 0);
    uint64_t need = size;
    if (!ranges.empty()) {
      need = 0;
      for (const ByteRange& range : ranges) need += range.length;
    }
    // A large file reports its progress in steps, as a copy does per chunk.
    for (uint64_t at = kChunk; progress && at < size; at += kChunk) {
      if (files_.onProgress) files_.onProgress();
      progress(at, size);
    }
    const auto lock = files_.Lock();
    Node* made = other->Object();
    if (!made || !other->created_) return AccessDenied("WriteFile");
    std::string& into = other->stream_.empty() ? made->content : made->streams[other->stream_];
    const uint64_t free = files_.FreeBytes(other->key_[0]);
    if (free < need) {
      into = data.substr(0, static_cast<size_t>(std::min<uint64_t>(free, data.size())));
      if (files_.onWrite) files_.onWrite(other->path_);
      return OsError{112, "WriteFile", "There is not enough space on the disk."};
    }
    into = data;
    if (other->stream_.empty()) {
      made->extraSize = source.extraSize;
      if (!ranges.empty() && (made->attributes & file_attribute::kSparse) != 0) {
        made->ranges = ranges;
      }
    }
    if (files_.onWrite) files_.onWrite(other->path_);
    if (progress) progress(size, size);
    return OsStatus::Success();
  }
  OsResult<bool> SameData(FileHandle& target) override {
    auto* other = dynamic_cast<Handle*>(&target);
    if (!other) return FileHandle::SameData(target);
    const auto lock = files_.Lock();
    const Node* one = Object();
    const Node* two = other->Object();
    if (!one || !two) return Gone("ReadFile");
    return one->content == two->content && one->extraSize == two->extraSize;
  }
  OsStatus SetBasics(uint32_t attributes, const FileTimes& times) override {
    const auto lock = files_.Lock();
    Node* node = Object();
    if (!node || !(created_ || as_ == OpenAs::kNewFolder || as_ == OpenAs::kFileSecurity)) {
      return AccessDenied("SetFileInformationByHandle");
    }
    node->attributes = (attributes & ~file_attribute::kNormal & ~file_attribute::kDirectory) |
                       (node->folder ? file_attribute::kDirectory : 0) |
                       (node->attributes & file_attribute::kReparsePoint);
    if (times.creation) node->times.creation = times.creation;
    if (times.lastAccess) node->times.lastAccess = times.lastAccess;
    if (times.lastWrite) node->times.lastWrite = times.lastWrite;
    return OsStatus::Success();
  }
  OsResult<Security> ReadSecurity() override {
    const auto lock = files_.Lock();
    const std::string at = Now();
    if (at.empty()) return Gone("GetSecurityInfo");
    return files_.Effective(at);
  }
  OsStatus SetOwner(const std::string& owner) override {
    const auto lock = files_.Lock();
    Node* node = Object();
    if (!node || !MaySetSecurity()) return AccessDenied("SetSecurityInfo");
    // Without the restore privilege an owner can only be the caller or a group it may own by.
    if (owner != sid::kAdministrators && owner != kProcessUser && !files_.restorePrivilegeOn) {
      return OsError{1307, "SetSecurityInfo", "This security ID may not be assigned as the owner."};
    }
    node->ownerSid = owner;
    return OsStatus::Success();
  }
  OsStatus SetDacl(const std::vector<Ace>& entries, bool isProtected) override {
    const auto lock = files_.Lock();
    const std::string at = Now();
    Node* node = Object();
    if (!node || !MaySetSecurity()) return AccessDenied("SetSecurityInfo");
    node->aces.clear();
    for (const Ace& ace : entries) {
      if (!ace.inherited()) node->aces.push_back(ace);
    }
    node->isProtected = isProtected;
    if (node->folder) files_.Propagate(at);
    return OsStatus::Success();
  }
  OsStatus Delete() override {
    if (!created_) return AccessDenied("SetFileInformationByHandle");
    deleteOnClose_ = true;
    return OsStatus::Success();
  }

 private:
  bool Folder() const { return as_ == OpenAs::kFolder || as_ == OpenAs::kNewFolder; }
  bool MaySetSecurity() const {
    return created_ || as_ == OpenAs::kNewFolder || as_ == OpenAs::kFileSecurity;
  }
  std::string Now() const { return files_.Where(key_, id_); }
  Node* Object() {
    const std::string at = Now();
    if (at.empty() || IsRoot(at)) return nullptr;
    return &files_.nodes_.at(at);
  }
  static OsError Gone(const char* api) { return OsError{2, api, "The file is gone."}; }
  static std::string Join(const std::string& folder, const std::string& name) {
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
  }

  FakeFileSystem& files_;
  std::string key_;
  uint64_t id_;
  OpenAs as_;
  bool created_;
  std::string stream_;
  bool deleteOnClose_ = false;

 public:
  std::string path_;  // as opened, for the hooks
};

inline std::unique_ptr<FileHandle> FakeFileSystem::MakeHandle(const std::string& key, uint64_t id,
                                                              OpenAs as, bool created) {
  auto handle = std::make_unique<Handle>(*this, key, id, as, created);
  handle->path_ = Stored(key);
  return handle;
}

// Windows-1252 for the characters up to U+00FF that tests use; nothing else has a form.
// Except "€", at 0x80 by Microsoft's table, where ISO-8859-1 (28591, which Encode also knows: every
// byte its own code point) has a control character. UTF-8 takes every character.
class FakeAnsiCodePage : public AnsiCodePage {
 public:
  uint32_t Identifier() override { return identifier; }
  std::optional<std::string> FromUtf8(const std::string& utf8) override {
    return Encode(1252, utf8);
  }
  std::optional<std::string> Encode(uint32_t codePage, const std::string& utf8) override {
    if (codePage == 65001) return utf8;
    if (codePage != 1252 && codePage != 28591) return std::nullopt;
    std::string ansi;
    for (size_t i = 0; i < utf8.size(); ++i) {
      const auto byte = static_cast<unsigned char>(utf8[i]);
      if (byte < 0x80) {
        ansi += static_cast<char>(byte);
      } else if (codePage == 1252 && utf8.compare(i, 3, "\xE2\x82\xAC") == 0) {
        ansi += '\x80';
        i += 2;
      } else if ((byte == 0xC2 || byte == 0xC3) && i + 1 < utf8.size() &&
                 (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
        const unsigned code =
            ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
        if (code < 0xA0 && codePage == 1252) return std::nullopt;
        ansi += static_cast<char>(code);
      } else {
        return std::nullopt;
      }
    }
    return ansi;
  }
  OsResult<std::string> ToUtf8(const std::string& ansi) override {
    std::string utf8;
    for (char c : ansi) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        utf8 += c;
      } else if (byte < 0xA0) {
        utf8 += '?';
      } else {
        utf8 += static_cast<char>(0xC0 | (byte >> 6));
        utf8 += static_cast<char>(0x80 | (byte & 0x3F));
      }
    }
    return utf8;
  }
  uint32_t identifier = 1252;
};

}  // namespace dpc::test
