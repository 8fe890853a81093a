#include "platform/win32/files_win.h"

#include <windows.h>
#undef DeleteFile  // see files_win.h

#include <algorithm>

#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"

namespace dpc::win32 {

bool FileSystemWin::FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

OsStatus FileSystemWin::DeleteFile(const std::string& path) {
  if (!::DeleteFileW(Utf8ToWide(path).c_str())) return LastOsError("DeleteFileW");
  return OsStatus::Success();
}

OsStatus FileSystemWin::AppendAnsiText(const std::string& path, const std::string& text) {
  // Sharing read and write lets an operator watch the log while the controller writes it.
  ScopedFileHandle file(::CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastOsError("CreateFileW");
  const std::string bytes = Utf8ToAnsi(text).bytes;
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
      return LastOsError("WriteFile");
    }
    if (written == 0) return MakeOsError(ERROR_WRITE_FAULT, "WriteFile");
    done += written;
  }
  return OsStatus::Success();
}

OsResult<uint64_t> FileSystemWin::FileSize(const std::string& path) {
  const auto stamp = Stamp(path);
  if (!stamp) return stamp.error();
  return stamp->size;
}

OsResult<FileStamp> FileSystemWin::Stamp(const std::string& path) {
  // One attribute query, no open handle: cheap enough for every menu opening, and it never
  // blocks a writer.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &data)) {
    return LastOsError("GetFileAttributesExW");
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return MakeOsError(ERROR_DIRECTORY, "GetFileAttributesExW");
  }
  auto join = [](DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; };
  return FileStamp{join(data.nFileSizeHigh, data.nFileSizeLow),
                   join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

OsStatus FileSystemWin::MoveFileReplacing(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastOsError("MoveFileExW");
  }
  return OsStatus::Success();
}

std::string ProfileStoreWin::ReadString(const std::string& file, const std::string& section,
                                        const std::string& key, const std::string& fallback) {
  const std::wstring wideFile = Utf8ToWide(file);
  const std::wstring wideSection = Utf8ToWide(section);
  const std::wstring wideKey = Utf8ToWide(key);
  const std::wstring wideFallback = Utf8ToWide(fallback);
  // A value that fills the buffer to the last character may have been cut: grow and read again.
  std::wstring buffer(256, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length =
        ::GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideFallback.c_str(),
                                   buffer.data(), size, wideFile.c_str());
    if (length + 1 < size || buffer.size() >= (1u << 20)) {
      buffer.resize(std::min<size_t>(length, buffer.size()));
      return WideToUtf8(buffer);
    }
    buffer.assign(buffer.size() * 4, L'\0');
  }
}

OsStatus ProfileStoreWin::WriteString(const std::string& file, const std::string& section,
                                      const std::string& key, const std::string& value) {
  if (!::WritePrivateProfileStringW(Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(),
                                    Utf8ToWide(value).c_str(), Utf8ToWide(file).c_str())) {
    return LastOsError("WritePrivateProfileStringW");
  }
  return OsStatus::Success();
}

}  // namespace dpc::win32
