#include "maintenance/tree_guard.h"

namespace dpc {

TreeGuard::Check TreeGuard::Hold(const std::string& path, bool oldSide, bool checkLink) {
  auto hold = files_.HoldFolder(path);
  if (!hold) return {Verdict::Failed, hold.error()};
  // The folder the name leads to, through any link: what the copy would write into.
  const auto reached = files_.Identity(path);
  if (!reached) return {Verdict::Failed, reached.error()};
  if (checkLink) {
    // The handle sees a link where the system opens links as themselves; the name's entry also
    // sees the links that are opened as their targets (Unix links under Wine); and a name that
    // leads elsewhere than the held folder is a link too.
    if ((*hold)->entry().IsLink()) return {Verdict::Link, std::nullopt};
    const auto byName = files_.Stat(path);
    if (!byName) return {Verdict::Failed, byName.error()};
    if (byName->IsLink() || !(*reached == (*hold)->identity())) {
      return {Verdict::Link, std::nullopt};
    }
  }
  const Key key{reached->volumeSerial, reached->fileIndex};
  if (oldSide) {
    oldFolders_.insert(key);
    oldHolds_.push_back(std::move(hold.value()));
    return {};
  }
  if (oldFolders_.count(key) != 0) return {Verdict::IntoOldTree, std::nullopt};
  if (heldNew_.insert(key).second) newHolds_.push_back(std::move(hold.value()));
  return {};
}

TreeGuard::Check TreeGuard::HoldOld(const std::string& path) { return Hold(path, true, true); }

TreeGuard::Check TreeGuard::HoldNew(const std::string& path) { return Hold(path, false, true); }

TreeGuard::Check TreeGuard::HoldParents(const std::string& given, bool oldSide) {
  // "D:\a\b\c": the parents "D:\a" and "D:\a\b", never the folder itself (a parent's hold
  // would keep the old tree from the recycle bin).
  std::string path = given;
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  for (size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1)) {
    const std::string parent = path.substr(0, slash);
    if (!files_.Stat(parent)) break;  // the rest does not exist yet
    // Parents are held, but not as old folders: the old tree is the top and what lies below it.
    const Check check = Hold(parent, false, false);
    if (check.verdict == Verdict::Failed) return check;
    if (check.verdict == Verdict::IntoOldTree && !oldSide) return check;
  }
  return {};
}

bool TreeGuard::IsOldFolder(const FileIdentity& identity) const {
  return oldFolders_.count({identity.volumeSerial, identity.fileIndex}) != 0;
}

}  // namespace dpc
