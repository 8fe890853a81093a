#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

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
  };

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
  }
  // A second name for an existing file: the same file, as a hard link is.
  void AddHardLink(const std::string& link, const std::string& target) {
    MakeFolders(ParentOf(link));
    aliases_[Key(link)] = target;
    Node node = nodes_.at(Key(target));
    node.name = LastName(link);
    nodes_[Key(link)] = node;
  }
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

  // Files whose appends fail with access denied, by path.
  std::set<std::string> unwritable;
  // Last-write times that Stamp reports, by file path; 0 unless a test sets one.
  std::map<std::string, uint64_t> writeTimes;
  int stamps = 0;  // Stamp calls

  // What happened, in order: "copy <from>", "write <path>", "replace <to>", "recycle <path>".
  std::vector<std::string> journal;
  int replaceCalls = 0;

  OsResult<std::vector<FolderEntry>> ListFolder(const std::string& folder) override {
    const auto lock = Lock();
    const std::string key = Key(Resolve(folder));
    if (const OsError* error = Staged(listErrors, folder)) return *error;
    if (!IsFolder(key)) return OsError{3, "FindFirstFileExW", "The system cannot find the path."};
    std::vector<FolderEntry> entries;
    for (const std::string& child : Children(key)) entries.push_back(Entry(nodes_.at(child)));
    return entries;
  }

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

  OsResult<bool> CreateFolderTree(const std::string& path) override {
    const auto lock = Lock();
    const std::string key = Key(Resolve(path));
    if (const OsError* error = Staged(createErrors, path)) return *error;
    if (auto it = nodes_.find(key); it != nodes_.end()) {
      if (it->second.folder) return false;
      return OsError{183, "CreateDirectoryW",
                     "Cannot create a file when that file already exists."};
    }
    if (!IsFolder(Parent(key))) {
      if (IsRoot(Parent(key)) || Parent(key).empty()) {
        return OsError{3, "CreateDirectoryW", "The system cannot find the path."};
      }
      auto parent = CreateFolderTree(ParentOf(Resolve(path)));
      if (!parent) return parent;
    }
    nodes_[key] = Node{LastName(path), true, file_attribute::kDirectory, "", 0, ++lastId_};
    return true;
  }

  OsStatus SetAttributes(const std::string& path, uint32_t attributes) override {
    const auto lock = Lock();
    auto it = nodes_.find(Key(Resolve(path)));
    if (it == nodes_.end()) return OsError{2, "SetFileAttributesW", "Not found."};
    it->second.attributes = attributes | (it->second.folder ? file_attribute::kDirectory : 0);
    return OsStatus::Success();
  }

  OsStatus CopyNewFile(const std::string& from, const std::string& to,
                       const CopyProgressCallback& progress) override {
    if (beforeCopy) beforeCopy(from);
    const auto lock = Lock();
    journal.push_back("copy " + from);
    return Copy(from, to, progress, "CopyFileExW");
  }

  OsStatus RemoveFile(const std::string& path) override {
    if (const OsError* error = Staged(removeErrors, path)) return *error;
    auto it = nodes_.find(Key(Resolve(path)));
    if (it == nodes_.end() || it->second.folder) return OsError{2, "DeleteFileW", "Not found."};
    if (ReadOnly(it->second)) return AccessDenied("DeleteFileW");
    nodes_.erase(it);
    return OsStatus::Success();
  }

  bool FileExists(const std::string& path) override {
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

  OsResult<bool> SameContent(const std::string& a, const std::string& b) override {
    const Node* first = Find(a);
    const Node* second = Find(b);
    if (!first || !second) return OsError{2, "CreateFileW", "Not found."};
    return first->content == second->content && first->extraSize == second->extraSize;
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

  OsStatus WriteFileFlushed(const std::string& path, const std::string& bytes) override {
    journal.push_back("write " + path);
    if (writeError) return *writeError;
    if (!IsFolder(Parent(Key(path)))) return OsError{3, "CreateFileW", "Not found."};
    AddFile(path, bytes);
    return OsStatus::Success();
  }

  OsResult<std::unique_ptr<FolderHold>> HoldFolder(const std::string& path) override {
    const auto lock = Lock();
    const std::string key = Key(Resolve(path));
    auto it = nodes_.find(key);
    if (it == nodes_.end() || !it->second.folder) return NotFound(key, "CreateFileW");
    ++holds_[key];
    return std::unique_ptr<FolderHold>(new Hold(
        *this, key, FileIdentity{static_cast<uint32_t>(key[0]), it->second.id}, Entry(it->second)));
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

  // The replacement takes the replaced file's owner and attributes. As the system's does, a
  // failure to move the replacement into place (1176, 1177) leaves nothing at the replaced name.
  OsStatus ReplaceFileKeepingSecurity(const std::string& from, const std::string& to) override {
    journal.push_back("replace keeping " + to);
    if (!keepingReplaceErrors.empty()) {
      OsError error = keepingReplaceErrors.front();
      keepingReplaceErrors.pop_front();
      if (error.code == 1176 || error.code == 1177) nodes_.erase(Key(to));
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
    target->second = replacement;
    nodes_.erase(source);
    return OsStatus::Success();
  }

 private:
  static constexpr uint64_t kChunk = 1 << 20;

  // Copies made on worker threads meet the test's own calls here.
  std::unique_lock<std::recursive_mutex> Lock() const {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }
  OsStatus Copy(const std::string& from, const std::string& to,
                const CopyProgressCallback& progress, const char* api) {
    const std::string source = Key(Resolve(from));
    const std::string target = Key(Resolve(to));
    auto done = [&](OsStatus result) {
      if (onCopy) onCopy(from);
      return result;
    };
    auto it = nodes_.find(source);
    if (it == nodes_.end()) return done(OsError{2, api, "Not found."});
    if (const OsError* error = Staged(copyErrors, from)) return done(*error);
    if (nodes_.count(target) != 0) return done(OsError{80, api, "The file exists."});
    if (!IsFolder(Parent(target))) {
      return done(OsError{3, api, "The system cannot find the path."});
    }
    const Node copy = it->second;
    const uint64_t size = copy.content.size() + copy.extraSize;
    if (FreeBytes(target[0]) < size) {
      return done(OsError{112, api, "There is not enough space on the disk."});
    }
    // A large file reports its progress in steps, as the system's copy does per chunk.
    for (uint64_t at = kChunk; progress && at < size; at += kChunk) {
      if (onProgress) onProgress();
      progress(at, size);
    }
    if (progress) progress(size, size);
    Node& made = nodes_[target];
    made = copy;
    made.name = LastName(to);
    made.id = ++lastId_;
    return done(OsStatus::Success());
  }

  static bool ReadOnly(const Node& node) {
    return (node.attributes & file_attribute::kReadOnly) != 0;
  }
  static OsError AccessDenied(const char* api) { return OsError{5, api, "Access is denied."}; }
  struct Hold final : FolderHold {
    Hold(FakeFileSystem& f, std::string k, FileIdentity i, FolderEntry e)
        : files(f), key(std::move(k)), id(i), held(std::move(e)) {}
    ~Hold() override {
      const auto lock = files.Lock();
      --files.holds_[key];
    }
    FileIdentity identity() const override { return id; }
    FolderEntry entry() const override { return held; }
    FakeFileSystem& files;
    std::string key;
    FileIdentity id;
    FolderEntry held;
  };
  // Windows refuses to rename or delete a folder while it, or anything in it, is open.
  bool HeldAtOrBelow(const std::string& key) const {
    for (const auto& [held, count] : holds_) {
      if (count > 0 && (held == key || StartsWith(held, key + "\\"))) return true;
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
                       node.folder ? 0 : node.content.size() + node.extraSize, node.tag};
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
      if (key[0] == letter && !node.folder) used += node.content.size() + node.extraSize;
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
  uint64_t lastId_ = 0;
  mutable std::recursive_mutex mutex_;
};

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
  std::string ToUtf8(const std::string& ansi) override {
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
