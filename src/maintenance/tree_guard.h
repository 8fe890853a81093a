#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/folders.h"

namespace dpc {

// The folders one move has checked, each held open from its check until the move ends, so that
// the folder that was checked is the one that is used: none of them can be renamed away or
// replaced by a link in between. It also knows the old tree's folders by identity, so that a
// folder at the new place that is one of them, however it is reached, is never written to.
class TreeGuard {
 public:
  enum class Verdict {
    Held,
    Link,         // a junction or symbolic link
    IntoOldTree,  // the same folder as one of the old tree's
    Failed,       // could not be opened
  };
  struct Check {
    Verdict verdict = Verdict::Held;
    std::optional<OsError> error;
    bool held() const { return verdict == Verdict::Held; }
  };

  explicit TreeGuard(FolderFileSystem& files) : files_(files) {}

  // A folder of the old tree: held, and remembered by identity.
  Check HoldOld(const std::string& path);
  // A folder at the new place: held unless it is a link or one of the old tree's folders.
  Check HoldNew(const std::string& path);
  // The existing parents of a path below its drive root. Links among them are the
  // administrator's own arrangement (a volume mounted on a folder, say) and are accepted, but
  // none may be one of the old tree's folders.
  Check HoldParents(const std::string& path, bool oldSide);
  bool IsOldFolder(const FileIdentity& identity) const;

  // Before the old tree goes to the recycle bin, which the holds would otherwise keep out.
  void ReleaseOld() { oldHolds_.clear(); }
  size_t held() const { return oldHolds_.size() + newHolds_.size(); }

 private:
  using Key = std::pair<uint32_t, uint64_t>;
  Check Hold(const std::string& path, bool oldSide, bool checkLink);

  FolderFileSystem& files_;
  std::set<Key> oldFolders_;
  std::set<Key> heldNew_;
  std::vector<std::unique_ptr<FolderHold>> oldHolds_;
  std::vector<std::unique_ptr<FolderHold>> newHolds_;
};

}  // namespace dpc
