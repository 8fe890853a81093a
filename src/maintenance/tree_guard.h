#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace dpc {

// An old folder held open while a walk works in it or below it, and with it every folder above
// it up to the tree's top: none of them can be renamed away or replaced by a link while their
// files are read. A file handed to a worker keeps its folder's pin until its copy ends.
struct FolderPin {
  std::shared_ptr<const FolderPin> parent;
  std::unique_ptr<FolderHold> hold;
};
using PinPtr = std::shared_ptr<const FolderPin>;

// The folders one move has checked, so that the folder that was checked is the one that is
// used. The new place's folders are held from their check until the move ends: nothing may turn
// one of them into a link while the copy writes there, nor before the old tree goes. The old
// tree's folders are held only along the path a walk is on, which keeps the handles to the
// tree's depth, and are known by identity: every later walk finds each of them as it was
// measured, or stops, and a folder at the new place that is one of them, however it is reached,
// is never written to.
class TreeGuard {
 public:
  enum class Verdict {
    Held,
    Link,         // a junction or symbolic link
    IntoOldTree,  // the same folder as one of the old tree's
    Changed,      // an old folder that is not the one measured
    Failed,       // could not be opened
  };
  struct Check {
    Verdict verdict = Verdict::Held;
    std::optional<OsError> error;
    PinPtr pin;  // the old folder's, for the walk to keep while it needs it
    bool held() const { return verdict == Verdict::Held; }
  };

  explicit TreeGuard(FileSystem& files) : files_(files) {}

  // A folder of the old tree, met by the measuring walk below `parent`: pinned, and remembered
  // by identity.
  Check HoldOld(const std::string& path, PinPtr parent);
  // The same folder met again by a later walk: pinned, and Changed unless it is one measured.
  Check RecheckOld(const std::string& path, PinPtr parent);
  // A folder at the new place: held unless it is a link or one of the old tree's folders.
  Check HoldNew(const std::string& path);
  // The existing parents of a path below its drive root. Links among them are the
  // administrator's own arrangement (a volume mounted on a folder, say) and are accepted, but
  // none may be one of the old tree's folders.
  Check HoldParents(const std::string& path, bool oldSide);
  bool IsOldFolder(const FileIdentity& identity) const;

  size_t held() const { return newHolds_.size(); }

 private:
  enum class Side { MeasuredOld, OldAgain, New, Parent };
  using Key = std::pair<uint32_t, uint64_t>;
  Check Hold(const std::string& path, Side side, PinPtr parent = nullptr);

  FileSystem& files_;
  std::set<Key> oldFolders_;
  std::set<Key> heldNew_;
  std::vector<std::unique_ptr<FolderHold>> newHolds_;
};

}  // namespace dpc
