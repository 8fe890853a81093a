#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace dpc {

// An old folder held open while a walk works in it or below it, and with it every folder above
// it up to the tree's top: none of them can be renamed away or replaced while their files are
// read. A file handed to a worker keeps its folder's pin until its copy ends.
struct FolderPin {
  std::shared_ptr<const FolderPin> parent;
  std::unique_ptr<FileHandle> handle;
};
using PinPtr = std::shared_ptr<const FolderPin>;

// The folders one move has checked, each reached through the handle of the folder above it:
// the folder that was checked is the one that is used, whatever another program makes of the
// paths meanwhile. The new place's folders are held from their check until the move ends. The
// old tree's folders are held only along the path a walk is on, which keeps the handles to the
// tree's depth, and are known by identity: every later walk finds each of them as it was
// measured, or stops, and a folder at the new place that is one of them is never written to.
class TreeGuard {
 public:
  enum class Verdict {
    Held,
    Link,         // a junction, symbolic link or mount point
    IntoOldTree,  // the same folder as one of the old tree's
    Changed,      // an old folder that is not the one measured there
    Failed,       // could not be opened
  };
  struct Check {
    Verdict verdict = Verdict::Held;
    std::optional<OsError> error = {};
    PinPtr pin = {};               // an old folder's, for the walk to keep while it needs it
    FileHandle* folder = nullptr;  // a new folder's, held by the guard
    bool held() const { return verdict == Verdict::Held; }
  };

  explicit TreeGuard(FileSystem& files) : files_(files) {}

  // The folder above a tree's top, by its path (a volume mounted on a folder on the way is the
  // administrator's own arrangement and followed), held until the move ends. IntoOldTree when it
  // is one of the old tree's folders and the tree is the new one.
  Check HoldParent(const std::string& top, bool oldSide);
  // The old tree's top (relative "") or a folder below it, opened through `parent`'s handle (the
  // top: through the held parent). The measuring walk records its identity; every later walk
  // must find the same folder there, or it is Changed.
  Check PinOld(const std::string& relative, const std::string& name, const PinPtr& parent,
               bool measuring);
  bool Measured() const { return !oldFolders_.empty(); }
  // The new place's top, when it already stands there: held, and Held with `folder` null when it
  // does not.
  Check FindNewTop();
  // The new place's top: opened through its held parent, or made there; missing folders between
  // the parent and the top are made too. Every folder made admits only administrators and SYSTEM.
  Check HoldNewTop(bool& made);
  // A folder below the new top: `name` in the held new folder `parentRelative`, opened or made.
  Check HoldNew(const std::string& relative, const std::string& parentRelative,
                const std::string& name, bool& made);
  // A new folder held earlier, by its path below the top; nullptr when it is not held.
  FileHandle* HeldNew(const std::string& relative) const;
  const std::map<std::string, std::unique_ptr<FileHandle>>& newFolders() const {
    return newFolders_;
  }
  bool IsOldFolder(const FileIdentity& identity) const;
  size_t held() const { return newFolders_.size() + parents_.size(); }

 private:
  Check Inspect(FileHandle& handle, const std::optional<FileIdentity>& expected, bool newSide);
  Check OpenOrMake(FileHandle& parent, const std::string& name, bool& made,
                   std::unique_ptr<FileHandle>& folder);

  FileSystem& files_;
  std::vector<std::unique_ptr<FileHandle>> parents_;
  FileHandle* oldParent_ = nullptr;
  FileHandle* newParent_ = nullptr;
  std::vector<std::string> missingToNewTop_;  // names from the new parent down to the top
  std::map<std::string, FileIdentity> oldByPath_;
  std::set<std::pair<uint32_t, uint64_t>> oldFolders_;
  std::map<std::string, std::unique_ptr<FileHandle>> newFolders_;
};

// "a\b" from "a" and "b"; just "b" at the top.
std::string JoinRelative(std::string_view folder, std::string_view name);

}  // namespace dpc
