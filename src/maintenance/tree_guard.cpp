#include "maintenance/tree_guard.h"

#include "platform/ascii.h"

namespace dpc {
namespace {

std::pair<uint32_t, uint64_t> KeyOf(const FileIdentity& identity) {
  return {identity.volumeSerial, identity.fileIndex};
}

std::string LastPart(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// Whether the folder's listing shows `name` as a link. Some systems (Wine) open every link as
// its target, so that only the listing tells.
bool ListedAsLink(FileHandle& folder, const std::string& name) {
  const auto listing = folder.List();
  if (!listing) return false;  // the open that follows finds what is wrong
  for (const FolderEntry& entry : *listing) {
    if (AsciiUpper(entry.name) == AsciiUpper(name)) return entry.IsLink();
  }
  return false;
}

OsError Replaced() {
  return OsError{1006, "GetFileInformationByHandle",
                 "The folder was replaced by another while it was moved."};
}

}  // namespace

std::string JoinRelative(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string joined(folder);
  joined += '\\';
  joined += name;
  return joined;
}

TreeGuard::Check TreeGuard::Inspect(FileHandle& handle, const std::optional<FileIdentity>& expected,
                                    bool newSide) {
  const auto info = handle.Info();
  if (!info) return {Verdict::Failed, info.error()};
  // Opened as itself: a link shows here, whatever the listing said.
  if (info->IsReparsePoint() || !info->IsFolder()) return {Verdict::Link};
  if (expected && !(*expected == info->identity)) return {Verdict::Changed, Replaced()};
  if (newSide && IsOldFolder(info->identity)) return {Verdict::IntoOldTree};
  return {};
}

TreeGuard::Check TreeGuard::HoldParent(const std::string& given, bool oldSide) {
  // "D:\a\b\c": "D:\", "D:\a" and "D:\a\b" are held as far as they exist, never the top
  // itself (a hold there would keep the old tree from the recycle bin).
  std::string top = given;
  while (top.size() > 3 && top.back() == '\\') top.pop_back();
  if (top.size() < 4 || top[1] != ':' || top[2] != '\\') {
    return {Verdict::Failed, OsError{3, "CreateFileW", "Not a full path."}};
  }
  std::vector<std::string> parents{top.substr(0, 3)};
  for (size_t slash = top.find('\\', 3); slash != std::string::npos;
       slash = top.find('\\', slash + 1)) {
    parents.push_back(top.substr(0, slash));
  }
  FileHandle* deepest = nullptr;
  std::vector<std::string> missing;
  for (const std::string& parent : parents) {
    if (missing.empty()) {
      auto opened = files_.OpenPath(parent, OpenAs::kFolder);
      if (opened) {
        // Links among the parents are the administrator's arrangement, but none may lead into
        // the old tree.
        const auto info = (*opened)->Info();
        if (!info) return {Verdict::Failed, info.error()};
        if (!oldSide && IsOldFolder(info->identity)) return {Verdict::IntoOldTree};
        deepest = opened->get();
        parents_.push_back(std::move(*opened));
        continue;
      }
      const uint32_t code = opened.error().code;
      if (!deepest || (code != os_code::kFileNotFound && code != os_code::kPathNotFound)) {
        return {Verdict::Failed, opened.error()};
      }
    }
    missing.push_back(LastPart(parent));
  }
  if (oldSide) {
    if (!missing.empty()) return {Verdict::Failed, OsError{3, "NtCreateFile", "Not found."}};
    oldParent_ = deepest;
  } else {
    newParent_ = deepest;
    missingToNewTop_ = std::move(missing);
    missingToNewTop_.push_back(LastPart(top));
  }
  return {};
}

TreeGuard::Check TreeGuard::PinOld(const std::string& relative, const std::string& name,
                                   const PinPtr& parent, bool measuring) {
  FileHandle* through = parent ? parent->handle.get() : oldParent_;
  if (!through) return {Verdict::Failed, OsError{6, "NtCreateFile", "The parent is not held."}};
  // Below the top, the walk has read the parent's listing already.
  if (!parent && ListedAsLink(*through, name)) return {Verdict::Link};
  auto opened = through->Open(name, OpenAs::kFolder);
  if (!opened) return {Verdict::Failed, opened.error()};
  std::optional<FileIdentity> expected;
  if (!measuring) {
    const auto recorded = oldByPath_.find(relative);
    // A folder that was not there when the tree was measured is not one to read now.
    if (recorded == oldByPath_.end()) return {Verdict::Changed, Replaced()};
    expected = recorded->second;
  }
  Check check = Inspect(**opened, expected, false);
  if (!check.held()) return check;
  if (measuring) {
    const auto info = (*opened)->Info();
    if (!info) return {Verdict::Failed, info.error()};
    oldByPath_[relative] = info->identity;
    oldFolders_.insert(KeyOf(info->identity));
  }
  auto pin = std::make_shared<FolderPin>();
  pin->parent = parent;
  pin->handle = std::move(*opened);
  check.pin = std::move(pin);
  return check;
}

TreeGuard::Check TreeGuard::FindNewTop() {
  if (FileHandle* top = HeldNew("")) return {Verdict::Held, std::nullopt, nullptr, top};
  if (!newParent_) return {Verdict::Failed, OsError{6, "NtCreateFile", "The parent is not held."}};
  // A missing folder between the parent and the top: nothing stands there yet.
  if (missingToNewTop_.size() != 1) return {};
  if (ListedAsLink(*newParent_, missingToNewTop_.front())) return {Verdict::Link};
  auto opened = newParent_->Open(missingToNewTop_.front(), OpenAs::kNewFolder);
  if (!opened) {
    const uint32_t code = opened.error().code;
    if (code == os_code::kFileNotFound || code == os_code::kPathNotFound) return {};
    return {Verdict::Failed, opened.error()};
  }
  Check check = Inspect(**opened, std::nullopt, true);
  if (!check.held()) return check;
  check.folder = opened->get();
  newFolders_[""] = std::move(*opened);
  return check;
}

TreeGuard::Check TreeGuard::HoldNewTop(bool& made) {
  made = false;
  if (FileHandle* top = HeldNew("")) return {Verdict::Held, std::nullopt, nullptr, top};
  if (!newParent_) return {Verdict::Failed, OsError{6, "NtCreateFile", "The parent is not held."}};
  FileHandle* parent = newParent_;
  for (size_t i = 0; i < missingToNewTop_.size(); ++i) {
    std::unique_ptr<FileHandle> folder;
    Check check = OpenOrMake(*parent, missingToNewTop_[i], made, folder);
    if (!check.held()) return check;
    parent = folder.get();
    // The folders between the parent and the top are the move's own, held as parents.
    if (i + 1 < missingToNewTop_.size()) {
      parents_.push_back(std::move(folder));
    } else {
      newFolders_[""] = std::move(folder);
    }
  }
  return {Verdict::Held, std::nullopt, nullptr, parent};
}

TreeGuard::Check TreeGuard::HoldNew(const std::string& relative, const std::string& parentRelative,
                                    const std::string& name, bool& made) {
  FileHandle* parent = HeldNew(parentRelative);
  if (!parent) return {Verdict::Failed, OsError{6, "NtCreateFile", "The parent is not held."}};
  std::unique_ptr<FileHandle> folder;
  Check check = OpenOrMake(*parent, name, made, folder);
  if (!check.held()) return check;
  check.folder = folder.get();
  newFolders_[relative] = std::move(folder);
  return check;
}

TreeGuard::Check TreeGuard::OpenOrMake(FileHandle& parent, const std::string& name, bool& made,
                                       std::unique_ptr<FileHandle>& folder) {
  made = false;
  auto opened = parent.Create(name, true);
  if (opened) {
    made = true;
  } else if (opened.error().code == os_code::kFileExists ||
             opened.error().code == os_code::kAlreadyExists) {
    opened = parent.Open(name, OpenAs::kNewFolder);
  }
  if (!opened) return {Verdict::Failed, opened.error()};
  Check check = Inspect(**opened, std::nullopt, true);
  if (check.held()) folder = std::move(*opened);
  return check;
}

FileHandle* TreeGuard::HeldNew(const std::string& relative) const {
  const auto it = newFolders_.find(relative);
  return it == newFolders_.end() ? nullptr : it->second.get();
}

bool TreeGuard::IsOldFolder(const FileIdentity& identity) const {
  return oldFolders_.count(KeyOf(identity)) != 0;
}

}  // namespace dpc
