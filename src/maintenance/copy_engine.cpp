#include "maintenance/copy_engine.h"

#include <limits>
#include <utility>

#include "platform/ascii.h"

namespace dpc {
namespace {

bool IsAscii(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
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

std::string JoinRelative(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string joined(folder);
  joined += '\\';
  joined += name;
  return joined;
}

std::string CopyProgress::CounterCaption(const Translator& translator) const {
  if (filesDone_ == 0) return translator.Translate("File %d of %d");
  return FillPlaceholders("%d / %d", {std::to_string(filesDone_), std::to_string(fileTotal_)});
}

void ProblemList::Add(TreeProblem problem) {
  ++count_;
  if (first_.size() < kKept) first_.push_back(std::move(problem));
}

CopyEngine::CopyEngine(FileSystem& files, MessagePump& pump, Clock& clock)
    : files_(files), pump_(pump), clock_(clock) {}

void CopyEngine::PumpBetweenEntries() {
  pump_.ProcessPendingMessages();
  lastPump_ = clock_.SteadyMilliseconds();
}

void CopyEngine::PumpDuringFile() {
  const uint64_t now = clock_.SteadyMilliseconds();
  if (now - lastPump_ < kPumpDuringFileMs) return;
  lastPump_ = now;
  pump_.ProcessPendingMessages();
}

TreeSize CopyEngine::FolderSize(const std::string& path, const StopCheck& stop, uint64_t cluster) {
  TreeSize size;
  struct Pending {
    std::string relative;
    PinPtr parent;  // pins the folders above while any of their subfolders waits
  };
  std::vector<Pending> pending{{"", nullptr}};
  while (!pending.empty()) {
    if (stop && stop()) {
      size.stopped = true;
      break;
    }
    Pending next = std::move(pending.back());
    pending.pop_back();
    const std::string& relative = next.relative;
    const std::string folder = JoinPath(path, relative);
    PinPtr pin;
    if (guard_) {
      TreeGuard::Check held = guard_->HoldOld(folder, std::move(next.parent));
      if (auto problem = OldFolderProblem(held, relative)) {
        size.problems.Add(std::move(*problem));
        continue;
      }
      pin = std::move(held.pin);
    }
    auto listing = files_.ListFolder(folder);
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
        pending.push_back({std::move(child), pin});
      } else {
        ++size.files;
        size.bytes = SaturatingAdd(size.bytes, entry.size);
        if (cluster > 0)
          size.occupied = SaturatingAdd(size.occupied, RoundedUp(entry.size, cluster));
      }
    }
    PumpBetweenEntries();
  }
  FileCounter += size.files;
  return size;
}

std::optional<TreeProblem> CopyEngine::OldFolderProblem(const TreeGuard::Check& held,
                                                        const std::string& relative) {
  switch (held.verdict) {
    case TreeGuard::Verdict::Held:
      return std::nullopt;
    case TreeGuard::Verdict::Link:
      return TreeProblem{TreeProblem::Kind::ReparsePoint, relative, std::nullopt};
    default:
      return TreeProblem{TreeProblem::Kind::Unreadable, relative, held.error};
  }
}

std::optional<TreeProblem> CopyEngine::RecheckOld(const std::string& path,
                                                  const std::string& relative, PinPtr parent,
                                                  PinPtr& pin) {
  if (!guard_) return std::nullopt;
  TreeGuard::Check held = guard_->RecheckOld(path, std::move(parent));
  if (auto problem = OldFolderProblem(held, relative)) return problem;
  pin = std::move(held.pin);
  return std::nullopt;
}

std::optional<TreeProblem> CopyEngine::HoldNew(const std::string& path,
                                               const std::string& relative) {
  if (!guard_) return std::nullopt;
  const TreeGuard::Check held = guard_->HoldNew(path);
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
  if (!files_.Stat(destination)) return problems;  // nothing there yet
  std::vector<std::string> pending{""};
  while (!pending.empty() && !(stop && stop())) {
    const std::string relative = std::move(pending.back());
    pending.pop_back();
    const std::string folder = JoinPath(destination, relative);
    if (auto problem = HoldNew(folder, relative)) {
      problems.Add(std::move(*problem));
      continue;
    }
    auto listing = files_.ListFolder(folder);
    if (!listing) {
      problems.Add({TreeProblem::Kind::Unreadable, relative, listing.error()});
      continue;
    }
    for (const FolderEntry& entry : *listing) {
      std::string child = JoinRelative(relative, entry.name);
      if (entry.IsLink()) {
        problems.Add({TreeProblem::Kind::ReparsePoint, std::move(child), std::nullopt});
      } else if (entry.IsFolder()) {
        pending.push_back(std::move(child));
      }
    }
    PumpBetweenEntries();
  }
  return problems;
}

int64_t CopyEngine::CountFiles(const std::string& path) { return FolderSize(path).files; }

CopyReport CopyEngine::CopyFolderTree(const std::string& source, const std::string& destination,
                                      ProgressView& view, const StopCheck& stop) {
  CopyReport report;
  const auto top = files_.CreateFolderTree(destination);
  if (!top) {
    report.problems.Add({TreeProblem::Kind::NotCreated, "", top.error()});
    return report;
  }
  if (guard_) {
    // Parents made just now are held too; the new folder itself must not have become a link.
    const TreeGuard::Check parents = guard_->HoldParents(destination, false);
    if (!parents.held()) {
      report.problems.Add({TreeProblem::Kind::IntoOldTree, "", parents.error});
      return report;
    }
  }
  if (auto problem = HoldNew(destination, "")) {
    report.problems.Add(std::move(*problem));
    return report;
  }
  PinPtr sourcePin;
  if (auto problem = RecheckOld(source, "", nullptr, sourcePin)) {
    report.problems.Add(std::move(*problem));
    return report;
  }
  auto listing = files_.ListFolder(source);
  if (!listing) {
    report.problems.Add({TreeProblem::Kind::Unreadable, "", listing.error()});
    return report;
  }
  struct Frame {
    std::string relative;
    std::vector<FolderEntry> entries;
    size_t next = 0;
    PinPtr pin;  // the source folder, and through it those above
  };
  std::vector<Frame> stack;
  stack.push_back({"", std::move(*listing), 0, std::move(sourcePin)});
  const CopyProgressCallback progress = [this](uint64_t, uint64_t) { PumpDuringFile(); };
  std::optional<CopyWorkers> workers;
  if (workers_ > 0) {
    workers.emplace(files_, workers_);
    if (workers->Threads() == 0) workers.reset();
  }

  while (!stack.empty()) {
    if (stack.back().next == stack.back().entries.size()) {
      stack.pop_back();
      continue;
    }
    Frame& frame = stack.back();
    const FolderEntry entry = std::move(frame.entries[frame.next++]);
    std::string relative = JoinRelative(frame.relative, entry.name);
    const std::string from = JoinPath(source, relative);
    const std::string to = JoinPath(destination, relative);
    if (entry.IsLink()) {
      report.problems.Add({TreeProblem::Kind::ReparsePoint, relative, std::nullopt});
    } else if (entry.IsFolder()) {
      PinPtr pin;
      if (auto changed = RecheckOld(from, relative, frame.pin, pin)) {
        // Not the folder measured: nothing is read from it, nor below it.
        report.problems.Add(std::move(*changed));
      } else if (const auto made = files_.CreateFolderTree(to); !made) {
        report.problems.Add({TreeProblem::Kind::NotCreated, relative, made.error()});
      } else if (auto unsafe = HoldNew(to, relative)) {
        // Nothing is written into it, nor below it.
        report.problems.Add(std::move(*unsafe));
      } else {
        // Hidden and system folders stay so; a pre-existing folder is left as it is.
        const uint32_t kept =
            entry.attributes & (file_attribute::kHidden | file_attribute::kSystem);
        if (*made && kept != 0) (void)files_.SetAttributes(to, kept);
        auto children = files_.ListFolder(from);
        if (!children) {
          report.problems.Add({TreeProblem::Kind::Unreadable, relative, children.error()});
        } else {
          stack.push_back({std::move(relative), std::move(*children), 0, std::move(pin)});
        }
      }
    } else if (workers) {
      // One file in hand per thread: Cancel leaves no queue behind, and a Cancel that comes
      // while the walk waits for a thread hands out nothing more.
      while (workers->Outstanding() >= workers->Threads() && !Stopped(stop, *workers, report)) {
        AwaitResults(*workers, report, view);
      }
      if (Stopped(stop, *workers, report)) break;
      workers->Submit({std::move(relative), from, to, frame.pin});
      TakeResults(workers->Collect(0), report, view);
    } else {
      // On this thread a throw from the message processing ends the walk, as it always did.
      Record(std::move(relative), files_.CopyNewFile(from, to, progress).failure(), report);
      view.StepFile();
    }
    PumpBetweenEntries();
    if (stop && stop()) {
      report.cancelled = true;
      break;
    }
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

void CopyEngine::AwaitResults(CopyWorkers& workers, CopyReport& report, ProgressView& view) {
  // Short waits: the window is painted and Cancel arrives while large files copy.
  TakeResults(workers.Collect(kPumpDuringFileMs / 5), report, view);
  PumpBetweenEntries();
}

void CopyEngine::Record(std::string relative, std::optional<OsError> error, CopyReport& report) {
  if (!error) {
    ++report.copied;
  } else if (error->code == os_code::kFileExists || error->code == os_code::kAlreadyExists) {
    report.preexisting.insert(std::move(relative));
  } else {
    report.failed.emplace(std::move(relative), std::move(*error));
  }
}

void CopyEngine::TakeResults(std::vector<CopyWorkers::Result> results, CopyReport& report,
                             ProgressView& view) {
  for (CopyWorkers::Result& result : results) {
    Record(std::move(result.relative), std::move(result.error), report);
    view.StepFile();
  }
}

VerifyReport CopyEngine::VerifyCopy(const std::string& source, const std::string& destination,
                                    const CopyReport& copy, const StopCheck& stop) {
  VerifyReport report;
  struct Pending {
    std::string relative;
    bool destinationMissing;
    PinPtr parent;
  };
  std::vector<Pending> pending{{"", false, nullptr}};
  while (!pending.empty()) {
    Pending folder = std::move(pending.back());
    pending.pop_back();
    PinPtr pin;
    const std::string from = JoinPath(source, folder.relative);
    if (auto changed = RecheckOld(from, folder.relative, std::move(folder.parent), pin)) {
      report.problems.Add(std::move(*changed));
      continue;
    }
    auto listing = files_.ListFolder(from);
    if (!listing) {
      report.problems.Add({TreeProblem::Kind::Unreadable, folder.relative, listing.error()});
      continue;
    }
    std::optional<DestinationListing> there;
    if (!folder.destinationMissing) {
      auto found = files_.ListFolder(JoinPath(destination, folder.relative));
      if (found) {
        there.emplace(std::move(*found));
      } else {
        report.problems.Add({TreeProblem::Kind::NotCreated, folder.relative, found.error()});
      }
    }
    for (const FolderEntry& entry : *listing) {
      std::string child = JoinRelative(folder.relative, entry.name);
      if (entry.IsLink()) {
        report.problems.Add({TreeProblem::Kind::ReparsePoint, std::move(child), std::nullopt});
        continue;
      }
      const std::string to = JoinPath(destination, child);
      std::optional<FolderEntry> copied;
      if (there) {
        if (const FolderEntry* match = there->Find(entry.name)) {
          copied = *match;
        } else if (!IsAscii(entry.name)) {
          // Letter case beyond A-Z is the system's to compare. Only then: asking for a name
          // that is not there costs a scan of the whole folder on some systems.
          if (auto stat = files_.Stat(to)) copied = *stat;
        }
      }
      if (entry.IsFolder()) {
        const bool missing = !copied || !copied->IsFolder();
        if (missing && there) {
          report.problems.Add({TreeProblem::Kind::NotCreated, child, std::nullopt});
        }
        pending.push_back({std::move(child), missing, pin});
        continue;
      }
      ++report.files;
      if (auto failed = copy.failed.find(child); failed != copy.failed.end()) {
        report.problems.Add({TreeProblem::Kind::CopyFailed, std::move(child), failed->second});
      } else if (!copied || copied->IsFolder()) {
        report.problems.Add({TreeProblem::Kind::Missing, std::move(child), std::nullopt});
      } else if (copied->size != entry.size) {
        report.problems.Add({TreeProblem::Kind::SizeDiffers, std::move(child), std::nullopt});
      } else if (copy.preexisting.count(child) != 0) {
        // A hard link, or a file reached through a link: comparing it with itself proves
        // nothing, and it would go with the old tree.
        const auto original = files_.Identity(JoinPath(source, child));
        const auto there = files_.Identity(to);
        if (!original || !there || *original == *there) {
          report.problems.Add({TreeProblem::Kind::SameFile, std::move(child),
                               !original ? std::optional<OsError>(original.error())
                               : !there  ? std::optional<OsError>(there.error())
                                         : std::nullopt});
          continue;
        }
        const auto same = files_.SameContent(JoinPath(source, child), to);
        if (!same || !*same) {
          report.problems.Add({TreeProblem::Kind::ContentDiffers, std::move(child),
                               same ? std::nullopt : std::optional<OsError>(same.error())});
        }
        PumpBetweenEntries();
      }
    }
    PumpBetweenEntries();
    if (stop && stop()) {
      report.cancelled = true;
      break;
    }
  }
  return report;
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
