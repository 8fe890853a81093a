// Times the folder copy engine on a real tree with the real adapters: the measure, the copy, the
// verification and the permissions of a folder move, in that order, as one row of the
// maintenance dialog runs them on a move's own thread (every folder held as the move holds it;
// nothing is deleted).
//
//   copy_bench.exe SOURCE DESTINATION [--profile] [--workers=N] [--steps]
//
// DESTINATION must not exist yet. --profile adds a table of the time spent in each call the engine
// makes (summed over threads);
// --workers=N copies N files at once (0: on the calling thread; default as a move does);
// --steps instead copies the files by hand (1 MiB reads and writes) and times each step of a
// file's copy.
// Prints the tree's files and bytes and the seconds of each step on one line. Exit code 0 when the
// copy verified, 1 when it did not, 2 on bad arguments.
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "maintenance/copy_engine.h"
#include "platform/win32/file_system_win.h"
#include "platform/win32/text.h"

#include <windows.h>

namespace {

class CountingView final : public dpc::ProgressView {
 public:
  void Open(const std::string&) override {}
  void SetFileTotal(int64_t) override {}
  void StepFile() override { ++steps; }
  void ShowPhase(const std::string&) override {}
  bool Cancelled() override { return false; }
  void Close() override {}
  int64_t steps = 0;
};

double Seconds() {
  LARGE_INTEGER frequency{}, now{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds and calls of each step, summed over all threads.
class Profile {
 public:
  class Scope {
   public:
    Scope(Profile& profile, const char* step) : profile_(profile), step_(step), start_(Seconds()) {}
    ~Scope() { profile_.Add(step_, Seconds() - start_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    Profile& profile_;
    const char* step_;
    double start_;
  };
  void Add(const char* step, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& [total, calls] = steps_[step];
    total += seconds;
    ++calls;
  }
  void Print(double whole) const {
    double counted = 0;
    for (const auto& [step, figures] : steps_) {
      std::printf("  %-22s %8.3f s %5.1f %% %8lld calls\n", step.c_str(), figures.first,
                  100 * figures.first / whole, static_cast<long long>(figures.second));
      counted += figures.first;
    }
    std::printf("  %-22s %8.3f s %5.1f %%\n", "(engine's own work)", whole - counted,
                100 * (whole - counted) / whole);
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::pair<double, int64_t>> steps_;
};

// An open file or folder of the real adapter, each call timed.
class ProfiledHandle final : public dpc::FileHandle {
 public:
  ProfiledHandle(std::unique_ptr<dpc::FileHandle> handle, Profile& profile)
      : handle_(std::move(handle)), profile_(profile) {}
  static dpc::OsResult<std::unique_ptr<dpc::FileHandle>> Wrap(
      dpc::OsResult<std::unique_ptr<dpc::FileHandle>> opened, Profile& profile) {
    if (!opened) return opened.error();
    return std::unique_ptr<dpc::FileHandle>(new ProfiledHandle(std::move(*opened), profile));
  }
  static dpc::FileHandle& Inner(dpc::FileHandle& handle) {
    auto* profiled = dynamic_cast<ProfiledHandle*>(&handle);
    return profiled ? *profiled->handle_ : handle;
  }

  dpc::OsResult<dpc::HandleInfo> Info() override {
    Profile::Scope scope(profile_, "info");
    return handle_->Info();
  }
  dpc::OsResult<dpc::HandleInfo> FileDetails() override {
    Profile::Scope scope(profile_, "file details");
    return handle_->FileDetails();
  }
  dpc::OsResult<std::vector<dpc::FolderEntry>> List() override {
    Profile::Scope scope(profile_, "list folder");
    return handle_->List();
  }
  dpc::OsResult<std::unique_ptr<dpc::FileHandle>> Open(const std::string& name,
                                                       dpc::OpenAs as) override {
    Profile::Scope scope(profile_, as == dpc::OpenAs::kFolder || as == dpc::OpenAs::kNewFolder
                                       ? "open folder"
                                       : "open file");
    return Wrap(handle_->Open(name, as), profile_);
  }
  dpc::OsResult<std::unique_ptr<dpc::FileHandle>> Create(const std::string& name,
                                                         bool folder) override {
    Profile::Scope scope(profile_, folder ? "create folder" : "create file");
    return Wrap(handle_->Create(name, folder), profile_);
  }
  dpc::OsResult<std::vector<dpc::StreamEntry>> Streams() override {
    Profile::Scope scope(profile_, "list streams");
    return handle_->Streams();
  }
  dpc::OsResult<std::unique_ptr<dpc::FileHandle>> OpenStream(const std::string& name) override {
    return Wrap(handle_->OpenStream(name), profile_);
  }
  dpc::OsResult<std::unique_ptr<dpc::FileHandle>> CreateStream(const std::string& name) override {
    return Wrap(handle_->CreateStream(name), profile_);
  }
  dpc::OsResult<std::vector<dpc::ByteRange>> AllocatedRanges() override {
    return handle_->AllocatedRanges();
  }
  dpc::OsStatus MakeSparse() override { return handle_->MakeSparse(); }
  dpc::OsResult<size_t> Read(uint64_t offset, char* buffer, size_t size) override {
    return handle_->Read(offset, buffer, size);
  }
  dpc::OsStatus Write(uint64_t offset, const char* data, size_t size) override {
    return handle_->Write(offset, data, size);
  }
  dpc::OsStatus SetSize(uint64_t size) override { return handle_->SetSize(size); }
  dpc::OsStatus CopyData(dpc::FileHandle& target, const std::vector<dpc::ByteRange>& ranges,
                         uint64_t size, const dpc::CopyProgressCallback& progress) override {
    Profile::Scope scope(profile_, "copy data");
    return handle_->CopyData(Inner(target), ranges, size, progress);
  }
  dpc::OsResult<bool> SameData(dpc::FileHandle& other) override {
    Profile::Scope scope(profile_, "compare data");
    return handle_->SameData(Inner(other));
  }
  dpc::OsStatus SetBasics(uint32_t attributes, const dpc::FileTimes& times) override {
    Profile::Scope scope(profile_, "set times+attributes");
    return handle_->SetBasics(attributes, times);
  }
  dpc::OsResult<dpc::Security> ReadSecurity() override {
    Profile::Scope scope(profile_, "read permissions");
    return handle_->ReadSecurity();
  }
  dpc::OsStatus SetOwner(const std::string& sid) override {
    Profile::Scope scope(profile_, "set owner");
    return handle_->SetOwner(sid);
  }
  dpc::OsStatus SetDacl(const std::vector<dpc::Ace>& entries, bool isProtected) override {
    Profile::Scope scope(profile_, "set permissions");
    return handle_->SetDacl(entries, isProtected);
  }
  dpc::OsStatus Delete() override { return handle_->Delete(); }
  ~ProfiledHandle() override {
    Profile::Scope scope(profile_, "close");
    handle_.reset();
  }

 private:
  std::unique_ptr<dpc::FileHandle> handle_;
  Profile& profile_;
};

// The real adapters: the paths a move starts from, and every handle they give, each call timed.
class ProfiledFiles final : public dpc::FileSystem {
 public:
  ProfiledFiles(dpc::FileSystem& files, Profile& profile) : files_(files), profile_(profile) {}
  dpc::OsResult<dpc::FolderEntry> Stat(const std::string& path) override {
    return files_.Stat(path);
  }
  dpc::OsStatus SetAttributes(const std::string& path, uint32_t value) override {
    return files_.SetAttributes(path, value);
  }
  dpc::OsStatus RemoveFile(const std::string& path) override { return files_.RemoveFile(path); }
  dpc::OsResult<bool> FileExists(const std::string& path) override {
    return files_.FileExists(path);
  }
  dpc::OsStatus AppendAnsiText(const std::string& path, const std::string& text) override {
    return files_.AppendAnsiText(path, text);
  }
  dpc::OsResult<uint64_t> FileSize(const std::string& path) override {
    return files_.FileSize(path);
  }
  dpc::OsResult<dpc::FileStamp> Stamp(const std::string& path) override {
    return files_.Stamp(path);
  }
  dpc::OsResult<dpc::FileIdentity> Identity(const std::string& path) override {
    return files_.Identity(path);
  }
  dpc::OsResult<std::string> LongPathName(const std::string& path) override {
    return files_.LongPathName(path);
  }
  dpc::DriveKind DriveType(char letter) override { return files_.DriveType(letter); }
  dpc::OsResult<dpc::DriveSpace> FreeSpace(char letter) override {
    return files_.FreeSpace(letter);
  }
  dpc::OsStatus RecycleTree(const std::string& path) override { return files_.RecycleTree(path); }
  dpc::OsResult<std::string> ReadFileBytes(const std::string& path) override {
    return files_.ReadFileBytes(path);
  }
  dpc::OsStatus ReplaceFileWith(const std::string& from, const std::string& to) override {
    return files_.ReplaceFileWith(from, to);
  }
  dpc::OsStatus CreateNewFileFlushed(const std::string& path, const std::string& bytes) override {
    return files_.CreateNewFileFlushed(path, bytes);
  }
  dpc::OsStatus ReplaceFileKeepingSecurity(const std::string& from, const std::string& to,
                                           const std::string& backup) override {
    return files_.ReplaceFileKeepingSecurity(from, to, backup);
  }
  dpc::OsStatus RecycleTreeGuarded(const std::string& path) override {
    return files_.RecycleTreeGuarded(path);
  }
  dpc::OsResult<uint64_t> RecycleBinItems(char letter) override {
    return files_.RecycleBinItems(letter);
  }
  dpc::OsResult<uint64_t> ClusterSize(char letter) override { return files_.ClusterSize(letter); }
  dpc::OsResult<std::unique_ptr<dpc::FileHandle>> OpenPath(const std::string& path,
                                                           dpc::OpenAs as) override {
    Profile::Scope scope(profile_, "open path");
    return ProfiledHandle::Wrap(files_.OpenPath(path, as), profile_);
  }
  dpc::OsStatus EnableRestorePrivilege() override { return files_.EnableRestorePrivilege(); }
  dpc::OsResult<std::string> ProcessUserSid() override { return files_.ProcessUserSid(); }
  dpc::OsResult<std::string> AccountName(const std::string& sid) override {
    return files_.AccountName(sid);
  }

 private:
  dpc::FileSystem& files_;
  Profile& profile_;
};

// A copy of each file by hand, step by step, to show where a file copy's time goes: the same
// work CopyFileExW does, with a 1 MiB buffer. Files only (folders are made as needed).
void ProfileFileSteps(const std::wstring& from, const std::wstring& to, Profile& profile) {
  std::vector<char> buffer(1 << 20);
  std::vector<std::wstring> pending{L""};
  while (!pending.empty()) {
    const std::wstring relative = pending.back();
    pending.pop_back();
    ::CreateDirectoryW((to + relative).c_str(), nullptr);
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileExW((from + relative + L"\\*").c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) continue;
    std::vector<WIN32_FIND_DATAW> entries;
    do {
      if (std::wstring(data.cFileName) != L"." && std::wstring(data.cFileName) != L"..")
        entries.push_back(data);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    for (const WIN32_FIND_DATAW& entry : entries) {
      const std::wstring child = relative + L"\\" + entry.cFileName;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        pending.push_back(child);
        continue;
      }
      HANDLE source, target;
      {
        Profile::Scope scope(profile, "  step: open source");
        source = ::CreateFileW((from + child).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      }
      {
        Profile::Scope scope(profile, "  step: create target");
        target = ::CreateFileW((to + child).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
      }
      for (;;) {
        DWORD got = 0, put = 0;
        {
          Profile::Scope scope(profile, "  step: read");
          ::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
        }
        if (got == 0) break;
        Profile::Scope scope(profile, "  step: write");
        ::WriteFile(target, buffer.data(), got, &put, nullptr);
      }
      {
        Profile::Scope scope(profile, "  step: time+attributes");
        ::SetFileTime(target, &entry.ftCreationTime, nullptr, &entry.ftLastWriteTime);
        ::SetFileAttributesW((to + child).c_str(), entry.dwFileAttributes);
      }
      Profile::Scope scope(profile, "  step: close both");
      ::CloseHandle(source);
      ::CloseHandle(target);
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool profiling = false;
  int workers = 4;  // as the controller's moves
  for (int i = 3; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--profile") {
      profiling = true;
    } else if (option.rfind(L"--workers=", 0) == 0) {
      workers = std::stoi(option.substr(10));
    } else if (option == L"--steps") {
      Profile steps;
      const double start = Seconds();
      ProfileFileSteps(argv[1], argv[2], steps);
      std::printf("copy by hand, 1 MiB buffer: %.3f s\n", Seconds() - start);
      steps.Print(Seconds() - start);
      return 0;
    } else {
      argc = 0;
    }
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: copy_bench.exe SOURCE DESTINATION [--profile] [--workers=N] [--steps]\n");
    return 2;
  }
  const std::string source = dpc::win32::WideToUtf8(argv[1]);
  const std::string destination = dpc::win32::WideToUtf8(argv[2]);
  Profile profile;
  dpc::win32::FileSystemWin realFiles;
  ProfiledFiles profiledFiles(realFiles, profile);
  dpc::FileSystem& files = profiling ? static_cast<dpc::FileSystem&>(profiledFiles) : realFiles;
  dpc::CopyEngine engine(files);
  engine.UseWorkers(workers);
  CountingView view;

  const double start = Seconds();
  const dpc::TreeSize size = engine.FolderSize(source, {}, 4096);
  const double measured = Seconds();
  const dpc::CopyReport copy = engine.CopyFolderTree(source, destination, view, {});
  const double copied = Seconds();
  const dpc::VerifyReport verify = engine.VerifyCopy(source, destination, copy, {});
  const double verified = Seconds();
  const dpc::SecureReport secured = engine.ApplyPermissions(copy);
  const double secure = Seconds();

  std::printf(
      "files %lld bytes %llu measure %.3f s copy %.3f s verify %.3f s copy+verify %.3f s "
      "permissions %.3f s problems %lld\n",
      static_cast<long long>(size.files), static_cast<unsigned long long>(size.bytes),
      measured - start, copied - measured, verified - copied, verified - measured,
      secure - verified,
      static_cast<long long>(size.problems.total() + copy.problems.total() +
                             verify.problems.total() + secured.problems.total()));
  if (profiling) profile.Print(secure - start);
  const bool complete = size.problems.none() && verify.problems.none() && copy.failed.empty() &&
                        secured.problems.none() && view.steps == size.files;
  return complete ? 0 : 1;
}
