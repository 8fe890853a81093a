#include "maintenance/ticket.h"

#include <utility>

#include "platform/ascii.h"

namespace dpc {
namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Digits only, at most five of them.
std::optional<uint32_t> SmallNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value;
}

constexpr uint32_t kNormalAttribute = 0x80;
// What a rewrite gives back to the ticket: the marks an administrator may have set on it.
constexpr uint32_t kKeptAttributes =
    file_attribute::kReadOnly | file_attribute::kHidden | file_attribute::kSystem;

uint32_t WithoutReadOnly(uint32_t attributes) {
  const uint32_t rest =
      attributes & ~(file_attribute::kReadOnly | file_attribute::kDirectory | kNormalAttribute);
  return rest != 0 ? rest : kNormalAttribute;
}

// A reader holding the ticket open (a virus scanner, an editor) lets go within moments.
bool PassingFailure(const OsError& error) {
  return error.code == os_code::kSharingViolation || error.code == os_code::kLockViolation ||
         error.code == os_code::kAccessDenied;
}

}  // namespace

const std::string& FolderSettings::Folder(int row) const {
  switch (row) {
    case 1:
      return ReferenceProfiles;
    case 2:
      return PaperProfiles;
    case 3:
      return Job;
    case 4:
      return Print;
    default:
      return Temp;
  }
}

std::string& FolderSettings::Folder(int row) {
  return const_cast<std::string&>(std::as_const(*this).Folder(row));
}

std::string JoinTicketLines(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') continue;
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  return text;
}

void ExtractTagValue(std::string_view text, std::string_view openTag, std::string_view closeTag,
                     std::string& value) {
  if (openTag.empty()) return;
  const size_t open = text.find(openTag);
  if (open == std::string_view::npos) return;
  const size_t start = open + openTag.size();
  // The closing tag is looked for from the start of the text, as the server's own reader does.
  const size_t close = closeTag.empty() ? std::string_view::npos : text.find(closeTag);
  if (close == std::string_view::npos || close < start) {
    value.clear();
    return;
  }
  value.assign(text.substr(start, close - start));
}

std::string UndoubleBackslashes(std::string_view stored) {
  std::string path;
  path.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    path += stored[i];
    if (stored[i] == '\\' && i + 1 < stored.size() && stored[i + 1] == '\\') ++i;
  }
  return path;
}

std::string DoubleBackslashes(std::string_view path) {
  std::string stored;
  stored.reserve(path.size() + 8);
  for (char c : path) {
    stored += c;
    if (c == '\\') stored += c;
  }
  return stored;
}

LinesRewrite ReplaceInLines(std::string_view bytes, std::string_view oldText,
                            std::string_view newText) {
  LinesRewrite out;
  out.bytes.reserve(bytes.size() + bytes.size() / 32 + 2);
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t lf = bytes.find('\n', pos);
    const size_t end = lf == std::string_view::npos ? bytes.size() : lf;
    const size_t contentEnd =
        lf != std::string_view::npos && end > pos && bytes[end - 1] == '\r' ? end - 1 : end;
    const std::string_view line = bytes.substr(pos, contentEnd - pos);
    size_t copied = 0;
    // Matched on the bytes the controller itself read from this file, so only ASCII case folds.
    for (size_t hit = FindIgnoringAsciiCase(line, oldText, 0); hit != std::string_view::npos;
         hit = FindIgnoringAsciiCase(line, oldText, copied)) {
      out.bytes.append(line.substr(copied, hit - copied));
      out.bytes.append(newText);
      copied = hit + oldText.size();
      ++out.replaced;
    }
    out.bytes.append(line.substr(copied));
    out.bytes.append("\r\n");
    pos = lf == std::string_view::npos ? bytes.size() : lf + 1;
  }
  return out;
}

std::optional<std::string> DeclaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (!bytes.empty() && IsXmlSpace(bytes.front())) bytes.remove_prefix(1);
  if (bytes.substr(0, 5) != "<?xml" || bytes.size() < 6 || !IsXmlSpace(bytes[5])) {
    return std::nullopt;
  }
  const size_t end = bytes.find("?>");
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view declaration = bytes.substr(0, end);
  for (size_t at = declaration.find("encoding"); at != std::string_view::npos;
       at = declaration.find("encoding", at + 1)) {
    if (at == 0 || !IsXmlSpace(declaration[at - 1])) continue;
    size_t i = at + 8;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || declaration[i] != '=') continue;
    ++i;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) continue;
    const char quote = declaration[i];
    const size_t close = declaration.find(quote, i + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return AsciiLower(declaration.substr(i + 1, close - i - 1));
  }
  return std::nullopt;
}

std::optional<uint32_t> CodePageOfEncoding(std::string_view name) {
  const std::string lower = AsciiLower(name);
  const std::string_view text = lower;
  if (text == "utf-8" || text == "utf8") return 65001;
  if (text == "us-ascii") return 20127;
  if (text.substr(0, 8) == "windows-") {
    const auto number = SmallNumber(text.substr(8));
    if (number && (*number == 874 || (*number >= 1250 && *number <= 1258))) return number;
    return std::nullopt;
  }
  if (text.substr(0, 9) == "iso-8859-") {
    const auto part = SmallNumber(text.substr(9));
    if (part && *part >= 1 && *part <= 15 && *part != 12) return 28590 + *part;
  }
  return std::nullopt;
}

SettingsTicket::SettingsTicket(FileSystem& files, Shell& shell, AnsiCodePage& codePage,
                               Clock& clock)
    : files_(files), shell_(shell), codePage_(codePage), clock_(clock) {}

FolderSettings SettingsTicket::ReadFolderSettings() {
  const OsResult<std::string> common = shell_.SpecialFolderPath(SpecialFolder::CommonAppData);
  TicketFolder = (common ? *common : std::string()) + "\\Durvin\\Proof\\Server\\Tickets";
  FolderSettings settings;
  if (!ValueOrRaise(files_.FileExists(TicketPath()))) return settings;
  const std::string text = ReadTicketText(TicketPath());
  settings.present = true;
  const auto read = [&](std::string_view openTag, std::string_view closeTag) {
    std::string stored;
    ExtractTagValue(text, openTag, closeTag, stored);
    return ValueOrRaise(codePage_.ToUtf8(UndoubleBackslashes(stored)));
  };
  for (const FolderRow& row : kFolderRows) {
    settings.Folder(row.number) = read(row.openTag, row.closeTag);
  }
  settings.ApplicationFolder = read(kApplicationFolderOpenTag, kApplicationFolderCloseTag);
  return settings;
}

std::string SettingsTicket::ReadTicketText(const std::string& path) {
  auto bytes = files_.ReadFileBytes(path);
  if (!bytes) throw SystemError(bytes.error());
  return JoinTicketLines(*bytes);
}

ProductGuidResult SettingsTicket::ReadProductGuid(const std::string& applicationFolder) {
  ProductGuidResult result;
  // Without an application folder the name would point at the root of the current drive.
  if (applicationFolder.empty()) return result;
  const std::string path = applicationFolder + "\\ProfileUpdater.xml";
  if (!ValueOrRaise(files_.FileExists(path))) return result;
  result.exists = true;
  std::string guid;
  ExtractTagValue(ReadTicketText(path), kProductGuidOpenTag, kProductGuidCloseTag, guid);
  // Appended piece by piece: GCC 12 warns falsely about "{" + std::string at -O3.
  result.ProductGuid.assign(1, '{').append(ValueOrRaise(codePage_.ToUtf8(guid))).append(1, '}');
  return result;
}

TicketRewrite SettingsTicket::ReplaceInTicket(const std::string& oldElement,
                                              const std::string& newElement,
                                              const std::optional<ExpectedValue>& expected) {
  TicketRewrite result;
  const OsResult<bool> ticketFound = files_.FileExists(TicketPath());
  if (!ticketFound) {
    result.error = ticketFound.error();
    return result;
  }
  if (!*ticketFound) return result;
  auto bytes = files_.ReadFileBytes(TicketPath());
  if (!bytes) {
    result.error = bytes.error();
    return result;
  }
  // Only the two element texts change code page; the rest of the ticket stays bytes.
  const auto oldAnsi = codePage_.FromUtf8(oldElement);
  const auto newAnsi = codePage_.FromUtf8(newElement);
  if (!oldAnsi || !newAnsi) return result;
  LinesRewrite rewrite =
      ReplaceInLines(*bytes, DoubleBackslashes(*oldAnsi), DoubleBackslashes(*newAnsi));
  result.replaced = rewrite.replaced;
  if (result.replaced == 0) return result;
  if (expected) {
    if (result.replaced != 1) return result;
    std::string stored;
    ExtractTagValue(JoinTicketLines(rewrite.bytes), expected->openTag, expected->closeTag, stored);
    const OsResult<std::string> readBack = codePage_.ToUtf8(UndoubleBackslashes(stored));
    if (!readBack) {
      result.error = readBack.error();
      return result;
    }
    if (*readBack != expected->path) return result;
  }
  // The folder stays the one it is while its files are swapped: held, so nobody renames it, and
  // not a link to another place.
  std::vector<std::unique_ptr<FileHandle>> held;
  if (auto error = HoldTicketFolder(held)) {
    result.error = std::move(error);
    return result;
  }
  // The file that becomes the ticket must be one this process made: a scratch file left by
  // anybody else (ordinary users may create files here) would hand them the ticket. The backup
  // name must be free as well, for a failed swap to leave the old ticket there.
  for (const std::string& ours : {ScratchPath(), BackupPath()}) {
    if (auto error = RemoveLeftOver(ours)) {
      result.error = std::move(error);
      result.refusedFile = ours;
      return result;
    }
  }
  // Whatever stands there after a failure (someone was quicker) is not ours to remove.
  if (const OsStatus created = files_.CreateNewFileFlushed(ScratchPath(), rewrite.bytes);
      !created) {
    result.error = created.error();
    result.refusedFile = ScratchPath();
    return result;
  }
  // A read-only ticket can be neither replaced nor renamed over; it gets its attribute back.
  const auto ticketEntry = files_.Stat(TicketPath());
  const uint32_t attributes = ticketEntry ? ticketEntry->attributes : 0;
  const uint32_t kept = attributes & kKeptAttributes;
  const bool readOnly = (attributes & file_attribute::kReadOnly) != 0;
  if (readOnly) {
    if (const OsStatus writable = files_.SetAttributes(TicketPath(), WithoutReadOnly(attributes));
        !writable) {
      (void)files_.RemoveFile(ScratchPath());
      result.error = writable.error();
      return result;
    }
  }
  if (auto error = ReplaceWithRetry()) {
    // A swap that failed half way left no ticket: the server must find one, the old one
    // preferably, else the new one.
    // A file the system cannot look at counts as there: no ticket that may stand is moved over or
    // reported missing, and the move of a backup or scratch file that is not there fails by itself.
    const auto exists = [this](const std::string& path) {
      const OsResult<bool> found = files_.FileExists(path);
      return !found || *found;
    };
    bool putBackNew = false;
    if (!exists(TicketPath()) &&
        !(exists(BackupPath()) && files_.ReplaceFileWith(BackupPath(), TicketPath()))) {
      putBackNew = exists(ScratchPath()) && files_.ReplaceFileWith(ScratchPath(), TicketPath());
    }
    if (!exists(TicketPath())) {
      result.error = std::move(error);
      result.ticketMissing = true;
      return result;
    }
    if (!putBackNew) {
      (void)files_.RemoveFile(ScratchPath());
      if (readOnly) (void)files_.SetAttributes(TicketPath(), attributes);
      result.error = std::move(error);
      return result;
    }
  }
  // The content is in place; an attribute that will not come back is no reason to undo it.
  if (kept != 0) (void)files_.SetAttributes(TicketPath(), attributes);
  (void)files_.RemoveFile(BackupPath());
  result.written = true;
  return result;
}

std::optional<OsError> SettingsTicket::HoldTicketFolder(
    std::vector<std::unique_ptr<FileHandle>>& held) {
  const size_t slash = TicketFolder.find_last_of('\\');
  if (slash == std::string::npos) return OsError{3, "CreateFileW", "Not a full path."};
  const std::string name = TicketFolder.substr(slash + 1);
  auto parent = files_.OpenPath(TicketFolder.substr(0, slash), OpenAs::kFolder);
  if (!parent) return parent.error();
  const OsError link{4395, "NtCreateFile",
                     "The settings ticket's folder is a link to another place."};
  // Some systems (Wine) open a link as its target: its listing entry tells.
  if (auto listing = (*parent)->List()) {
    for (const FolderEntry& entry : *listing) {
      if (AsciiUpper(entry.name) == AsciiUpper(name) && entry.IsLink()) return link;
    }
  }
  auto folder = (*parent)->Open(name, OpenAs::kFolder);
  if (!folder) return folder.error();
  const auto info = (*folder)->Info();
  if (!info) return info.error();
  if (info->IsReparsePoint()) return link;
  held.push_back(std::move(*parent));
  held.push_back(std::move(*folder));
  return std::nullopt;
}

std::optional<OsError> SettingsTicket::RemoveLeftOver(const std::string& path) {
  const auto entry = files_.Stat(path);
  if (!entry) {
    const uint32_t code = entry.error().code;
    if (code == os_code::kFileNotFound || code == os_code::kPathNotFound) return std::nullopt;
    return entry.error();
  }
  // A link goes as a link: the attributes of whatever it names are not ours to change.
  if ((entry->attributes & file_attribute::kReadOnly) != 0 && !entry->IsReparsePoint()) {
    const OsStatus writable = files_.SetAttributes(path, WithoutReadOnly(entry->attributes));
    if (!writable) return writable.error();
  }
  return files_.RemoveFile(path).failure();
}

std::optional<OsError> SettingsTicket::ReplaceWithRetry() {
  bool keepSecurity = true;
  for (int attempt = 1;; ++attempt) {
    std::optional<OsError> error;
    if (keepSecurity) {
      error =
          files_.ReplaceFileKeepingSecurity(ScratchPath(), TicketPath(), BackupPath()).failure();
      // Where the ticket's file system cannot swap keeping the permissions, the plain
      // replace-by-rename still leaves a whole ticket in place.
      if (error && !PassingFailure(*error)) {
        keepSecurity = false;
        error = files_.ReplaceFileWith(ScratchPath(), TicketPath()).failure();
      }
    } else {
      error = files_.ReplaceFileWith(ScratchPath(), TicketPath()).failure();
    }
    if (!error) return std::nullopt;
    if (!PassingFailure(*error) || attempt >= kReplaceAttempts) return error;
    clock_.Sleep(kReplaceRetryMs);
  }
}

uint32_t SettingsTicket::DeclaredCodePage() {
  const OsResult<bool> found = files_.FileExists(TicketPath());
  // 0, as for a ticket that cannot be read: its code page is unknown.
  if (!found) return 0;
  if (!*found) return 65001;
  const auto bytes = files_.ReadFileBytes(TicketPath());
  if (!bytes) return 0;
  const auto encoding = DeclaredEncoding(*bytes);
  if (!encoding) return 65001;
  return CodePageOfEncoding(*encoding).value_or(0);
}

}  // namespace dpc
