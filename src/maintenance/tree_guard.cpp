#include "maintenance/tree_guard.h"

namespace dpc {

TreeGuard::Check TreeGuard::Hold(const std::string& path, Side side, PinPtr parent) {
  auto hold = files_.HoldFolder(path);
  if (!hold) return {Verdict::Failed, hold.error(), nullptr};
  // The folder the name leads to, through any link: what the copy would write into. Below a
  // pinned folder the name cannot lead elsewhere than the folder just held; asking again would
  // cost one more open of every folder in every walk.
  const auto reached = parent ? OsResult<FileIdentity>((*hold)->identity()) : files_.Identity(path);
  if (!reached) return {Verdict::Failed, reached.error(), nullptr};
  if (side != Side::Parent) {
    // The handle sees a link where the system opens links as themselves; the name's entry also
    // sees the links that are opened as their targets (Unix links under Wine); and a name that
    // leads elsewhere than the held folder is a link too.
    if ((*hold)->entry().IsLink()) return {Verdict::Link, std::nullopt, nullptr};
    const auto byName = files_.Stat(path);
    if (!byName) return {Verdict::Failed, byName.error(), nullptr};
    if (byName->IsLink() || !(*reached == (*hold)->identity())) {
      return {Verdict::Link, std::nullopt, nullptr};
    }
  }
  const Key key{reached->volumeSerial, reached->fileIndex};
  switch (side) {
    case Side::MeasuredOld:
      oldFolders_.insert(key);
      break;
    case Side::OldAgain:
      if (oldFolders_.count(key) == 0) {
        return {Verdict::Changed,
                OsError{1006, "GetFileInformationByHandle",
                        "The folder was replaced by another while it was moved."},
                nullptr};
      }
      break;
    case Side::New:
    case Side::Parent:
      if (oldFolders_.count(key) != 0) return {Verdict::IntoOldTree, std::nullopt, nullptr};
      if (heldNew_.insert(key).second) newHolds_.push_back(std::move(hold.value()));
      return {};
  }
  auto pin = std::make_shared<FolderPin>();
  pin->parent = std::move(parent);
  pin->hold = std::move(hold.value());
  return {Verdict::Held, std::nullopt, std::move(pin)};
}

TreeGuard::Check TreeGuard::HoldOld(const std::string& path, PinPtr parent) {
  return Hold(path, Side::MeasuredOld, std::move(parent));
}

TreeGuard::Check TreeGuard::RecheckOld(const std::string& path, PinPtr parent) {
  return Hold(path, Side::OldAgain, std::move(parent));
}

TreeGuard::Check TreeGuard::HoldNew(const std::string& path) { return Hold(path, Side::New); }

TreeGuard::Check TreeGuard::HoldParents(const std::string& given, bool oldSide) {
  // "D:\a\b\c": the parents "D:\a" and "D:\a\b", never the folder itself (a parent's hold
  // would keep the old tree from the recycle bin).
  std::string path = given;
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  for (size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1)) {
    const std::string parent = path.substr(0, slash);
    if (!files_.Stat(parent)) break;  // the rest does not exist yet
    // Parents are held for the whole move, but not as old folders: the old tree is the top and
    // what lies below it.
    const Check check = Hold(parent, Side::Parent);
    if (check.verdict == Verdict::Failed) return check;
    if (check.verdict == Verdict::IntoOldTree && !oldSide) return check;
  }
  return {};
}

bool TreeGuard::IsOldFolder(const FileIdentity& identity) const {
  return oldFolders_.count({identity.volumeSerial, identity.fileIndex}) != 0;
}

}  // namespace dpc
