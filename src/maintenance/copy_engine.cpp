#include "maintenance/copy_engine.h"

#include <limits>
#include <mutex>
#include <utility>

#include "platform/ascii.h"
#include "platform/folder_trust.h"

namespace dpc {
namespace {

bool IsAscii(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string LastName(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path.substr(path.find_last_of('\\') + 1);
}

std::string JoinPath(const std::string& top, const std::string& relative) {
  if (relative.empty()) return top;
  if (!top.empty() && top.back() == '\\') return top + relative;
  return top + "\\" + relative;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  const uint64_t sum = a + b;
  return sum < a ? std::numeric_limits<uint64_t>::max() : sum;
}

// The size rounded up to whole clusters, without overflowing near 2^64.
uint64_t RoundedUp(uint64_t size, uint64_t cluster) {
  if (cluster <= 1) return size;
  const uint64_t rest = size % cluster;
  return rest == 0 ? size : SaturatingAdd(size - rest, cluster);
}

int64_t Clamped(uint64_t value) {
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  return static_cast<int64_t>(value > kMax ? kMax : value);
}

// A folder's listing at the new place, found by name as Windows finds names.
class DestinationListing {
 public:
  explicit DestinationListing(std::vector<FolderEntry> entries) : entries_(std::move(entries)) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      exact_.emplace(entries_[i].name, i);
      folded_.emplace(AsciiUpper(entries_[i].name), i);
    }
  }
  const FolderEntry* Find(const std::string& name) const {
    if (auto it = exact_.find(name); it != exact_.end()) return &entries_[it->second];
    if (auto it = folded_.find(AsciiUpper(name)); it != folded_.end()) return &entries_[it->second];
    return nullptr;
  }

 private:
  std::vector<FolderEntry> entries_;
  std::map<std::string, size_t> exact_;
  std::map<std::string, size_t> folded_;
};

}  // namespace

std::string CopyProgress::CounterCaption(const Translator& translator) const {
  if (filesDone_ == 0) return translator.Translate("File %d of %d");
  return FillPlaceholders("%d / %d", {std::to_string(filesDone_), std::to_string(fileTotal_)});
}

void ProblemList::Add(TreeProblem problem) {
  ++count_;
  if (first_.size() < kKept) first_.push_back(std::move(problem));
}

CopyEngine::CopyEngine(FileSystem& files) : files_(files), guard_(files) {}

TreeSize CopyEngine::FolderSize(const std::string& path, const StopCheck& stop, uint64_t cluster) {
  TreeSize size;
  if (const TreeGuard::Check parent = guard_.HoldParent(path, true); !parent.held()) {
    size.problems.Add({TreeProblem::Kind::Unreadable, "", parent.error});
    return size;
  }
  oldTopName_ = LastName(path);
  struct Pending {
    std::string relative;
    std::string name;
    PinPtr parent;  // pins the folders above while any of their subfolders waits
  };
  std::vector<Pending> pending{{"", oldTopName_, nullptr}};
  while (!pending.empty()) {
    if (stop && stop()) {
      size.stopped = true;
      break;
    }
    Pending next = std::move(pending.back());
    pending.pop_back();
    const std::string& relative = next.relative;
    PinPtr pin;
    if (auto problem = PinOld(relative, next.name, next.parent, true, pin)) {
      size.problems.Add(std::move(*problem));
      continue;
    }
    auto listing = pin->handle->List();
    if (!listing) {
      size.problems.Add({TreeProblem::Kind::Unreadable, relative, listing.error()});
      continue;
    }
    if (cluster > 0) size.occupied = SaturatingAdd(size.occupied, cluster);
    for (const FolderEntry& entry : *listing) {
      std::string child = JoinRelative(relative, entry.name);
      if (!entry.exactName) {
        size.problems.Add({TreeProblem::Kind::InexactName, std::move(child), std::nullopt});
      } else if (entry.IsLink()) {
        size.problems.Add({TreeProblem::Kind::ReparsePoint, std::move(child), std::nullopt});
      } else if (entry.IsFolder()) {
        ++size.folders;
        pending.push_back({std::move(child), entry.name, pin});
      } else if ((entry.attributes & file_attribute::kEncrypted) != 0) {
        size.problems.Add({TreeProblem::Kind::Encrypted, std::move(child), std::nullopt});
      } else {
        ++size.files;
        size.bytes = SaturatingAdd(size.bytes, entry.size);
        // A sparse file's copy keeps only what it holds.
        const bool sparse = (entry.attributes & file_attribute::kSparse) != 0;
        const uint64_t takes = sparse ? std::min(entry.allocated, entry.size) : entry.size;
        if (cluster > 0) size.occupied = SaturatingAdd(size.occupied, RoundedUp(takes, cluster));
      }
    }
  }
  FileCounter += size.files;
  return size;
}

std::optional<TreeProblem> CopyEngine::PinOld(const std::string& relative, const std::string& name,
                                              const PinPtr& parent, bool measuring, PinPtr& pin) {
  TreeGuard::Check held = guard_.PinOld(relative, name, parent, measuring);
  switch (held.verdict) {
    case TreeGuard::Verdict::Held:
      pin = std::move(held.pin);
      return std::nullopt;
    case TreeGuard::Verdict::Link:
      return TreeProblem{TreeProblem::Kind::ReparsePoint, relative, std::nullopt};
    default:
      return TreeProblem{TreeProblem::Kind::Unreadable, relative, held.error};
  }
}

std::optional<TreeProblem> CopyEngine::NewFolderProblem(const TreeGuard::Check& held,
                                                        const std::string& relative) {
  switch (held.verdict) {
    case TreeGuard::Verdict::Held:
      return std::nullopt;
    case TreeGuard::Verdict::Link:
      return TreeProblem{TreeProblem::Kind::ReparsePoint, relative, std::nullopt};
    case TreeGuard::Verdict::IntoOldTree:
      return TreeProblem{TreeProblem::Kind::IntoOldTree, relative, std::nullopt};
    case TreeGuard::Verdict::Changed:
    case TreeGuard::Verdict::Failed:
      break;
  }
  return TreeProblem{TreeProblem::Kind::Unreadable, relative, held.error};
}

ProblemList CopyEngine::CheckDestination(const std::string& destination, const StopCheck& stop) {
  ProblemList problems;
  if (const TreeGuard::Check parents = guard_.HoldParent(destination, false); !parents.held()) {
    problems.Add(*NewFolderProblem(parents, ""));
    return problems;
  }
  const TreeGuard::Check top = guard_.FindNewTop();
  if (auto problem = NewFolderProblem(top, "")) {
    problems.Add(std::move(*problem));
    return problems;
  }
  if (!top.folder) return problems;  // nothing there yet
  auto listing = top.folder->List();
  if (!listing) {
    problems.Add({TreeProblem::Kind::Unreadable, "", listing.error()});
    return problems;
  }
  if (listing->empty()) {
    if (auto problem = TakeOverEmptyTop(*top.folder)) problems.Add(std::move(*problem));
    return problems;
  }
  // A folder that already holds files keeps its permissions: it must be one that only trusted
  // accounts can change, or a user could open what the move puts there.
  const auto security = top.folder->ReadSecurity();
  if (!security) {
    problems.Add({TreeProblem::Kind::Unreadable, "", security.error()});
    return problems;
  }
  TrustContext trusted;
  if (const auto user = files_.ProcessUserSid()) trusted.alsoTrusted.push_back(*user);
  if (auto why = WhyUsersCanChange(*security, FolderRole::kOnThePath, trusted)) {
    // Named as the operator knows the account, where the system knows it.
    if (auto name = files_.AccountName(why->account); name && !why->account.empty()) {
      why->account = *name;
    }
    const bool owner = why->kind == Untrusted::Kind::kOwner;
    problems.Add({owner ? TreeProblem::Kind::OwnedByUser : TreeProblem::Kind::UsersCanChange, "",
                  std::nullopt, why->account});
    return problems;
  }
  struct Pending {
    std::string relative;
    std::vector<FolderEntry> entries;
  };
  std::vector<Pending> pending{{"", std::move(*listing)}};
  while (!pending.empty() && !(stop && stop())) {
    Pending folder = std::move(pending.back());
    pending.pop_back();
    for (const FolderEntry& entry : folder.entries) {
      std::string child = JoinRelative(folder.relative, entry.name);
      if (entry.IsLink()) {
        problems.Add({TreeProblem::Kind::ReparsePoint, std::move(child), std::nullopt});
        continue;
      }
      if (!entry.IsFolder()) continue;
      bool made = false;
      const TreeGuard::Check held = guard_.HoldNew(child, folder.relative, entry.name, made);
      if (auto problem = NewFolderProblem(held, child)) {
        problems.Add(std::move(*problem));
        continue;
      }
      auto children = held.folder->List();
      if (!children) {
        problems.Add({TreeProblem::Kind::Unreadable, std::move(child), children.error()});
        continue;
      }
      pending.push_back({std::move(child), std::move(*children)});
    }
  }
  return problems;
}

std::optional<TreeProblem> CopyEngine::TakeOverEmptyTop(FileHandle& top) {
  // What "Make New Folder" gives: an empty folder its user owns. Taken over through the held
  // handle, then looked at again: nobody may have put anything in it, or made it a link, first.
  const Security admins = AdministratorsOnly();
  if (const OsStatus owned = top.SetOwner(admins.ownerSid); !owned) {
    return TreeProblem{TreeProblem::Kind::Unreadable, "", owned.error()};
  }
  if (const OsStatus locked = top.SetDacl(*admins.dacl, true); !locked) {
    return TreeProblem{TreeProblem::Kind::Unreadable, "", locked.error()};
  }
  const auto info = top.Info();
  if (!info) return TreeProblem{TreeProblem::Kind::Unreadable, "", info.error()};
  if (info->IsReparsePoint()) return TreeProblem{TreeProblem::Kind::ReparsePoint, "", {}};
  const auto listing = top.List();
  if (!listing) return TreeProblem{TreeProblem::Kind::Unreadable, "", listing.error()};
  if (!listing->empty()) return TreeProblem{TreeProblem::Kind::Changed, "", std::nullopt};
  return std::nullopt;
}

int64_t CopyEngine::CountFiles(const std::string& path) { return FolderSize(path).files; }

CopyReport CopyEngine::CopyFolderTree(const std::string&, const std::string& destination,
                                      ProgressView& view, const StopCheck& stop) {
  CopyReport report;
  if (!guard_.Measured()) {
    report.problems.Add({TreeProblem::Kind::Unreadable, "",
                         OsError{1006, "CopyFolderTree", "The folder was not measured."}});
    return report;
  }
  if (!guard_.FindNewTop().held()) {
    // Not checked yet (a bench, say): the parents are held now.
    if (const auto parents = guard_.HoldParent(destination, false); !parents.held()) {
      report.problems.Add(*NewFolderProblem(parents, ""));
      return report;
    }
  }
  bool made = false;
  const TreeGuard::Check top = guard_.HoldNewTop(made);
  if (auto problem = NewFolderProblem(top, "")) {
    if (problem->kind == TreeProblem::Kind::Unreadable)
      problem->kind = TreeProblem::Kind::NotCreated;
    report.problems.Add(std::move(*problem));
    return report;
  }
  PinPtr sourcePin;
  if (auto problem = PinOld("", oldTopName_, nullptr, false, sourcePin)) {
    report.problems.Add(std::move(*problem));
    return report;
  }
  // The top takes every entry it holds now: its new parent would pass on others.
  const auto topSecurity = sourcePin->handle->ReadSecurity();
  auto listing = sourcePin->handle->List();
  if (!topSecurity || !listing) {
    report.problems.Add(
        {TreeProblem::Kind::Unreadable, "", !topSecurity ? topSecurity.error() : listing.error()});
    return report;
  }
  report.folders[""] = CarriedPermissions(*topSecurity, true);
  struct Frame {
    std::string relative;
    std::vector<FolderEntry> entries;
    size_t next = 0;
    PinPtr pin;                  // the old folder, and through it those above
    FileHandle* made = nullptr;  // the new folder, held by the guard
  };
  std::vector<Frame> stack;
  stack.push_back({"", std::move(*listing), 0, std::move(sourcePin), top.folder});
  const CopyProgressCallback progress;
  std::optional<CopyWorkers> workers;
  if (workers_ > 0) {
    workers.emplace(workers_);
    if (workers->Threads() == 0) workers.reset();
  }

  try {
    while (!stack.empty()) {
      if (stack.back().next == stack.back().entries.size()) {
        stack.pop_back();
        continue;
      }
      Frame& frame = stack.back();
      const FolderEntry entry = std::move(frame.entries[frame.next++]);
      std::string relative = JoinRelative(frame.relative, entry.name);
      if (entry.IsLink()) {
        report.problems.Add({TreeProblem::Kind::ReparsePoint, relative, std::nullopt});
      } else if (entry.IsFolder()) {
        PinPtr pin;
        bool madeNow = false;
        if (auto changed = PinOld(relative, entry.name, frame.pin, false, pin)) {
          // Not the folder measured: nothing is read from it, nor below it.
          report.problems.Add(std::move(*changed));
        } else if (const TreeGuard::Check held =
                       guard_.HoldNew(relative, frame.relative, entry.name, madeNow);
                   !held.held()) {
          // Nothing is written into it, nor below it.
          auto problem = NewFolderProblem(held, relative);
          if (problem->kind == TreeProblem::Kind::Unreadable)
            problem->kind = TreeProblem::Kind::NotCreated;
          report.problems.Add(std::move(*problem));
        } else {
          // Hidden and system folders stay so; a pre-existing folder is left as it is.
          const uint32_t kept =
              entry.attributes & (file_attribute::kHidden | file_attribute::kSystem);
          if (madeNow && kept != 0) (void)held.folder->SetBasics(kept, {});
          const auto security = pin->handle->ReadSecurity();
          auto children = pin->handle->List();
          if (!security || !children) {
            report.problems.Add({TreeProblem::Kind::Unreadable, relative,
                                 !security ? security.error() : children.error()});
          } else {
            report.folders[relative] = CarriedPermissions(*security, false);
            stack.push_back(
                {std::move(relative), std::move(*children), 0, std::move(pin), held.folder});
          }
        }
      } else if (workers) {
        // One file in hand per thread: Cancel leaves no queue behind, and a Cancel that comes
        // while the walk waits for a thread hands out nothing more.
        while (workers->Outstanding() >= workers->Threads() && !Stopped(stop, *workers, report)) {
          AwaitResults(*workers, report, view);
        }
        if (Stopped(stop, *workers, report)) break;
        FileHandle& oldFolder = *frame.pin->handle;
        FileHandle& newFolder = *frame.made;
        workers->Submit({std::move(relative),
                         [&oldFolder, &newFolder, entry] {
                           try {
                             return CopyOneFile(oldFolder, newFolder, entry, {});
                           } catch (const std::bad_alloc&) {
                             throw;  // no fault of this file's: the worker ends
                           } catch (const std::exception& error) {
                             return FileOutcome{FileOutcome::Kind::Failed,
                                                OsError{1359, "CopyOneFile", error.what()},
                                                {}};
                           }
                         },
                         frame.pin});
        TakeResults(workers->Collect(0), report, view);
      } else {
        Record(std::move(relative), CopyOneFile(*frame.pin->handle, *frame.made, entry, progress),
               report);
        view.StepFile();
      }
      if (stop && stop()) {
        report.cancelled = true;
        break;
      }
    }
  } catch (...) {
    // Whatever ends the walk here, the files in hand finish first, and the window stays painted
    // while they do.
    if (workers) {
      workers->DropWaiting();
      FinishInHand(*workers, report, view);
    }
    throw;
  }
  // The files in hand finish, and are counted, before the walk's result is given; after Cancel
  // those not started yet stay uncopied.
  if (workers && (report.cancelled || workers->Failure())) workers->DropWaiting();
  while (workers && workers->Outstanding() > 0) AwaitResults(*workers, report, view);
  if (workers) report.aborted = workers->Failure();
  // Even when every file arrived, a thread that failed is not a move to trust.
  if (report.aborted) report.problems.Add({TreeProblem::Kind::CopyFailed, "", report.aborted});
  return report;
}

bool CopyEngine::Stopped(const StopCheck& stop, CopyWorkers& workers, CopyReport& report) {
  if (stop && stop()) {
    report.cancelled = true;
    return true;
  }
  // A worker that ended early ends the walk: its file never arrives, and the row is not moved.
  return workers.Failure().has_value();
}

void CopyEngine::FinishInHand(CopyWorkers& workers, CopyReport& report, ProgressView& view) {
  while (workers.Outstanding() > 0) {
    try {
      TakeResults(workers.Collect(kCollectWaitMs), report, view);
    } catch (...) {
      // The first failure is the one that goes on.
    }
  }
}

void CopyEngine::AwaitResults(CopyWorkers& workers, CopyReport& report, ProgressView& view) {
  TakeResults(workers.Collect(kCollectWaitMs), report, view);
}

void CopyEngine::Record(std::string relative, FileOutcome outcome, CopyReport& report) {
  using Kind = FileOutcome::Kind;
  switch (outcome.kind) {
    case Kind::Copied:
      ++report.copied;
      report.files.emplace(std::move(relative), std::move(outcome.file));
      return;
    case Kind::Preexisting:
      report.preexisting.insert(relative);
      report.files.emplace(std::move(relative), std::move(outcome.file));
      return;
    case Kind::Link:
      report.problems.Add({TreeProblem::Kind::ReparsePoint, std::move(relative), std::nullopt});
      return;
    case Kind::Changed:
      report.problems.Add({TreeProblem::Kind::Changed, std::move(relative), outcome.error});
      return;
    case Kind::Encrypted:
      report.problems.Add({TreeProblem::Kind::Encrypted, std::move(relative), std::nullopt});
      return;
    case Kind::Failed:
      report.failed.emplace(std::move(relative),
                            outcome.error.value_or(OsError{1359, "CopyOneFile", ""}));
      return;
  }
}

void CopyEngine::TakeResults(std::vector<CopyWorkers::Result> results, CopyReport& report,
                             ProgressView& view) {
  for (CopyWorkers::Result& result : results) {
    Record(std::move(result.relative), std::move(result.outcome), report);
    view.StepFile();
  }
}

VerifyReport CopyEngine::VerifyCopy(const std::string&, const std::string&, const CopyReport& copy,
                                    const StopCheck& stop) {
  VerifyReport report;
  struct Pending {
    std::string relative;
    std::string name;
    PinPtr parent;
  };
  constexpr uint32_t kCompared = file_attribute::kReadOnly | file_attribute::kHidden |
                                 file_attribute::kSystem | file_attribute::kArchive;
  std::vector<Pending> pending{{"", oldTopName_, nullptr}};
  while (!pending.empty()) {
    Pending folder = std::move(pending.back());
    pending.pop_back();
    PinPtr pin;
    if (auto changed = PinOld(folder.relative, folder.name, folder.parent, false, pin)) {
      report.problems.Add(std::move(*changed));
      continue;
    }
    auto listing = pin->handle->List();
    if (!listing) {
      report.problems.Add({TreeProblem::Kind::Unreadable, folder.relative, listing.error()});
      continue;
    }
    // The new folder, held since it was checked: it must still be a folder, not a link.
    FileHandle* there = guard_.HeldNew(folder.relative);
    std::optional<DestinationListing> found;
    if (there) {
      const auto info = there->Info();
      auto entries = there->List();
      if (!info || info->IsReparsePoint()) {
        report.problems.Add({TreeProblem::Kind::ReparsePoint, folder.relative,
                             info ? std::nullopt : std::optional<OsError>(info.error())});
      } else if (!entries) {
        report.problems.Add({TreeProblem::Kind::NotCreated, folder.relative, entries.error()});
      } else {
        found.emplace(std::move(*entries));
      }
    }
    for (const FolderEntry& entry : *listing) {
      std::string child = JoinRelative(folder.relative, entry.name);
      if (entry.IsLink()) {
        report.problems.Add({TreeProblem::Kind::ReparsePoint, std::move(child), std::nullopt});
        continue;
      }
      std::optional<FolderEntry> copied;
      if (found) {
        if (const FolderEntry* match = found->Find(entry.name)) {
          copied = *match;
        } else if (!IsAscii(entry.name)) {
          // Letter case beyond A-Z is the system's to compare.
          if (auto opened = there->Open(entry.name, OpenAs::kFileSecurity)) {
            if (const auto info = (*opened)->Info()) {
              copied = FolderEntry{
                  entry.name, info->attributes,         info->size,           info->reparseTag,
                  true,       info->identity.fileIndex, info->times.lastWrite};
            }
          }
        }
      }
      if (entry.IsFolder()) {
        if (found && (!copied || !copied->IsFolder() || !guard_.HeldNew(child))) {
          report.problems.Add({TreeProblem::Kind::NotCreated, child, std::nullopt});
        }
        pending.push_back({std::move(child), entry.name, pin});
        continue;
      }
      ++report.files;
      const auto record = copy.files.find(child);
      if (auto failed = copy.failed.find(child); failed != copy.failed.end()) {
        report.problems.Add({TreeProblem::Kind::CopyFailed, std::move(child), failed->second});
      } else if (record == copy.files.end()) {
        // Not there when the copy passed: it came later, and was never copied.
        report.problems.Add({TreeProblem::Kind::Missing, std::move(child), std::nullopt});
      } else if (record->second.sourceId != entry.fileId && entry.fileId != 0) {
        report.problems.Add({TreeProblem::Kind::Changed, std::move(child), std::nullopt});
      } else if (!copied || copied->IsFolder()) {
        report.problems.Add({TreeProblem::Kind::Missing, std::move(child), std::nullopt});
      } else if (copied->size != entry.size) {
        report.problems.Add({TreeProblem::Kind::SizeDiffers, std::move(child), std::nullopt});
      } else if (copy.preexisting.count(child) != 0) {
        if (auto problem = ComparePreexisting(*pin->handle, *there, entry.name, child)) {
          report.problems.Add(std::move(*problem));
        }
      } else if (copied->fileId != record->second.copyId || copied->lastWrite != entry.lastWrite ||
                 (copied->attributes & kCompared) != (entry.attributes & kCompared)) {
        // Not the file the copy made, or not as the original is now: the copy took the
        // original's last-write time, so a change at either place shows, even at the same size.
        report.problems.Add({TreeProblem::Kind::Changed, std::move(child), std::nullopt});
      }
    }
    report.checked[folder.relative] = std::move(*listing);
    if (stop && stop()) {
      report.cancelled = true;
      break;
    }
  }
  return report;
}

std::optional<TreeProblem> CopyEngine::ComparePreexisting(FileHandle& oldFolder,
                                                          FileHandle& newFolder,
                                                          const std::string& name,
                                                          const std::string& relative) {
  auto original = oldFolder.Open(name, OpenAs::kFile);
  if (!original) return TreeProblem{TreeProblem::Kind::SameFile, relative, original.error()};
  auto there = newFolder.Open(name, OpenAs::kFile);
  if (!there) return TreeProblem{TreeProblem::Kind::SameFile, relative, there.error()};
  const auto one = (*original)->Info();
  const auto two = (*there)->Info();
  // A hard link, or a file reached through a link: comparing it with itself proves nothing, and
  // it would go with the old tree.
  if (!one || !two || one->identity == two->identity || two->IsReparsePoint()) {
    return TreeProblem{TreeProblem::Kind::SameFile, relative,
                       !one   ? std::optional<OsError>(one.error())
                       : !two ? std::optional<OsError>(two.error())
                              : std::nullopt};
  }
  const auto same = (*original)->SameData(**there);
  if (!same || !*same) {
    return TreeProblem{TreeProblem::Kind::ContentDiffers, relative,
                       same ? std::nullopt : std::optional<OsError>(same.error())};
  }
  return std::nullopt;
}

SecureReport CopyEngine::ApplyPermissions(const CopyReport& copy, const StopCheck& stop) {
  SecureReport report;
  // Owners other than Administrators and this process's user need the restore privilege; where
  // it is missing they stay Administrators, and say so.
  (void)files_.EnableRestorePrivilege();
  std::mutex notCarried;  // the workers add to report.ownersNotCarried
  const auto apply = [&](FileHandle& object, const Permissions& permissions,
                         const std::string& relative) -> std::optional<OsError> {
    if (const OsStatus set = object.SetDacl(permissions.entries, permissions.isProtected); !set) {
      return set.error();
    }
    if (permissions.ownerSid.empty() || permissions.ownerSid == sid::kAdministrators) return {};
    const OsStatus owned = object.SetOwner(permissions.ownerSid);
    if (owned || owned.error().code != os_code::kInvalidOwner) return owned.failure();
    const std::lock_guard<std::mutex> lock(notCarried);
    report.ownersNotCarried.emplace_back(relative, permissions.ownerSid);
    return {};
  };
  const auto record = [&](std::string relative, const std::optional<OsError>& error) {
    if (error) report.problems.Add({TreeProblem::Kind::NotSecured, std::move(relative), error});
  };
  std::map<std::string, std::vector<std::pair<std::string, const CopiedFile*>>> filesIn;
  for (const auto& [relative, file] : copy.files) {
    const size_t slash = relative.rfind('\\');
    filesIn[slash == std::string::npos ? "" : relative.substr(0, slash)].emplace_back(
        slash == std::string::npos ? relative : relative.substr(slash + 1), &file);
  }
  std::optional<CopyWorkers> workers;
  if (workers_ > 0) {
    workers.emplace(workers_);
    if (workers->Threads() == 0) workers.reset();
  }
  const auto collect = [&](uint32_t waitMs) {
    for (CopyWorkers::Result& done : workers->Collect(waitMs)) {
      record(std::move(done.relative), done.outcome.error);
    }
  };
  try {
    // Top down, each folder before what is in it: its children still carry the list they were
    // made with, which no folder passes anything on to, so Windows' propagation of each folder's
    // list stops at its own children. A folder's files go to the workers once it is set.
    for (const auto& [relative, folder] : guard_.newFolders()) {
      if (stop && stop()) {
        report.cancelled = true;
        break;
      }
      const auto permissions = copy.folders.find(relative);
      if (permissions == copy.folders.end()) continue;
      record(relative, apply(*folder, permissions->second, relative));
      for (const auto& [name, file] : filesIn[relative]) {
        FileHandle* into = folder.get();
        std::string path = JoinRelative(relative, name);
        auto secure = [&apply, into, name = name, file = file, path]() -> FileOutcome {
          auto opened = into->Open(name, OpenAs::kFileSecurity);
          std::optional<OsError> error =
              opened ? apply(**opened, file->permissions, path) : opened.error();
          return {error ? FileOutcome::Kind::Failed : FileOutcome::Kind::Copied, error, {}};
        };
        if (!workers) {
          record(std::move(path), secure().error);
          continue;
        }
        while (workers->Outstanding() >= workers->Threads() && !workers->Failure()) {
          collect(kCollectWaitMs);
        }
        if (workers->Failure()) break;
        workers->Submit({std::move(path), std::move(secure), nullptr});
      }
    }
  } catch (...) {
    if (workers) {
      workers->DropWaiting();
      while (workers->Outstanding() > 0) (void)workers->Collect(kCollectWaitMs);
    }
    throw;
  }
  while (workers && workers->Outstanding() > 0) {
    collect(kCollectWaitMs);
  }
  if (workers && workers->Failure()) {
    report.problems.Add({TreeProblem::Kind::NotSecured, "", workers->Failure()});
  }
  return report;
}

ProblemList CopyEngine::OldTreeChanges(const VerifyReport& verify, const StopCheck& stop) {
  ProblemList changes;
  const auto same = [](const FolderEntry& a, const FolderEntry& b) {
    return a.name == b.name && a.attributes == b.attributes && a.size == b.size &&
           a.fileId == b.fileId && a.lastWrite == b.lastWrite;
  };
  struct Pending {
    std::string relative;
    std::string name;
    PinPtr parent;
  };
  std::vector<Pending> pending{{"", oldTopName_, nullptr}};
  while (!pending.empty() && !(stop && stop())) {
    Pending folder = std::move(pending.back());
    pending.pop_back();
    PinPtr pin;
    if (auto problem = PinOld(folder.relative, folder.name, folder.parent, false, pin)) {
      changes.Add(std::move(*problem));
      continue;
    }
    auto listing = pin->handle->List();
    const auto checked = verify.checked.find(folder.relative);
    if (!listing || checked == verify.checked.end()) {
      changes.Add({TreeProblem::Kind::Changed, folder.relative,
                   listing ? std::nullopt : std::optional<OsError>(listing.error())});
      continue;
    }
    std::map<std::string, const FolderEntry*> before;
    for (const FolderEntry& entry : checked->second) before[entry.name] = &entry;
    for (const FolderEntry& entry : *listing) {
      std::string child = JoinRelative(folder.relative, entry.name);
      const auto was = before.find(entry.name);
      if (was == before.end() || !same(*was->second, entry)) {
        changes.Add({TreeProblem::Kind::Changed, std::move(child), std::nullopt});
        continue;
      }
      before.erase(was);
      if (entry.IsFolder() && !entry.IsLink())
        pending.push_back({std::move(child), entry.name, pin});
    }
    for (const auto& [name, gone] : before) {
      changes.Add({TreeProblem::Kind::Changed, JoinRelative(folder.relative, name), std::nullopt});
    }
  }
  return changes;
}

RecycleResult CopyEngine::DeleteFolderTree(const std::string& path) {
  using Kind = RecycleResult::Kind;
  if (const OsStatus guarded = files_.RecycleTreeGuarded(path); !guarded) {
    const OsError& error = guarded.error();
    if (error.code == os_code::kCancelled) return {Kind::Refused, error};
    if (error.code != os_code::kNotSupported) return {Kind::Failed, error};
    // No way to forbid deleting for good (Wine's shell): see first that the bin keeps a file.
    const RecycleResult proven = ProveRecycleBin(path);
    if (proven.kind != Kind::Recycled) return proven;
    if (const OsStatus recycled = files_.RecycleTree(path); !recycled)
      return {Kind::Failed, recycled.error()};
  }
  if (files_.Stat(path)) {
    return {Kind::Failed,
            OsError{145, "SHFileOperationW",
                    "The folder is still there after it was given to the recycle bin."}};
  }
  return {};
}

RecycleResult CopyEngine::ProveRecycleBin(const std::string& path) {
  using Kind = RecycleResult::Kind;
  const char drive = AsciiUpper(path.empty() ? '?' : path[0]);
  const auto before = files_.RecycleBinItems(drive);
  if (!before) return {Kind::NoRecycleBin, before.error()};
  const std::string probe = JoinPath(path, std::string(kRecycleTestFile));
  // Made afresh or not at all: whatever stands at that name (another user's file, a link) is
  // not ours to empty or to hand to the bin.
  if (const OsStatus written = files_.CreateNewFileFlushed(probe, ""); !written)
    return {Kind::Failed, written.error()};
  if (const OsStatus recycled = files_.RecycleTree(probe); !recycled) {
    (void)files_.RemoveFile(probe);
    return {Kind::NoRecycleBin, recycled.error()};
  }
  if (files_.Stat(probe)) {
    (void)files_.RemoveFile(probe);
    return {Kind::NoRecycleBin, std::nullopt};
  }
  const auto after = files_.RecycleBinItems(drive);
  // Gone, but not in the bin: it was deleted for good, as the tree would be.
  if (!after || *after <= *before) return {Kind::NoRecycleBin, std::nullopt};
  return {};
}

DriveSpaceResult CopyEngine::GetDriveSpace(char letter) {
  DriveSpaceResult result;
  const char drive = AsciiUpper(letter);
  if (drive < 'A' || drive > 'Z') return result;
  const auto space = files_.FreeSpace(drive);
  if (!space) return result;
  result.ok = true;
  result.freeBytes = Clamped(space->freeToCaller);
  result.totalBytes = Clamped(space->total);
  return result;
}

}  // namespace dpc
