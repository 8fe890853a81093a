#include "maintenance/path_rules.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/ascii.h"

namespace dpc {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsDeviceName(std::string_view name) {
  const std::string upper = AsciiUpper(name.substr(0, name.find('.')));
  static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (std::find(std::begin(kDevices), std::end(kDevices), upper) != std::end(kDevices)) return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

bool IsGoodName(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) return false;
  }
  // Windows drops trailing blanks and dots from names; the copy would then not find its folder.
  if (name.back() == ' ' || name.back() == '.') return false;
  return !IsDeviceName(name);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Texts the operator reads; the first %s is the path as typed.
constexpr std::string_view kEmpty = UiText(
    "No new folder is given. Choose a folder with \"Choose...\", or type its full path, such as "
    "D:\\Server\\Jobs.");
constexpr std::string_view kNoOldFolder = UiText(
    "The server's settings name no current folder here, so there are no files to move. Clear the "
    "field to leave this row as it is.");
constexpr std::string_view kRelative = UiText(
    "\"%s\" is not a full path. Type the whole path, starting with the drive letter, such as "
    "D:\\Server\\Jobs.");
constexpr std::string_view kNetwork = UiText(
    "\"%s\" is a network path. The server runs as a service and cannot rely on network folders: "
    "choose a folder on a local hard disk.");
constexpr std::string_view kBadName = UiText(
    "\"%s\" is not a valid folder path: a name in it holds a character such as * ? \" | or :, "
    "ends in a blank or a dot, or is reserved by Windows (such as CON or NUL). Correct the path "
    "or choose another folder.");
constexpr std::string_view kMarkup = UiText(
    "\"%s\" holds &, < or >, which would damage the server's settings ticket. Choose a folder "
    "without these characters.");
constexpr std::string_view kNotInCodePage = UiText(
    "\"%s\" holds characters that the server's settings ticket cannot store on this system. "
    "Choose a folder whose path uses only characters of the system's language settings.");
constexpr std::string_view kReadAsAnother = UiText(
    "\"%s\" holds \"%s\", a character that the server would read as a different one from its "
    "settings ticket. Choose a folder whose path does not use it.");
constexpr std::string_view kNewRoot = UiText(
    "\"%s\" is the root of a drive. Choose or create a folder on that drive for the server's "
    "files.");
constexpr std::string_view kOldRoot = UiText(
    "The current folder \"%s\" is the root of a drive, which cannot be moved as a whole. Nothing "
    "was changed.");
constexpr std::string_view kOldNotLocal = UiText(
    "The current folder \"%s\" is not a folder on a local drive and cannot be moved from here. "
    "Nothing was changed.");
constexpr std::string_view kOldMissing = UiText(
    "The current folder \"%s\" cannot be found. Create it, or reconnect its drive, and try "
    "again; nothing was changed.");
constexpr std::string_view kNewIsFile = UiText("\"%s\" is a file, not a folder. Choose a folder.");
constexpr std::string_view kDriveNetwork = UiText(
    "Drive %s is a network drive. The server runs as a service and does not see network drives: "
    "choose a folder on a local hard disk.");
constexpr std::string_view kDriveMissing =
    UiText("Drive %s does not exist. Choose a folder on a local hard disk.");
constexpr std::string_view kDriveRemovable = UiText(
    "Drive %s is a removable drive, a CD or DVD drive or a RAM disk, whose content can go away "
    "with it. Choose a folder on a local hard disk.");
constexpr std::string_view kDriveSubstituted = UiText(
    "Drive %s stands for a folder (made with subst), which the server, running as a service, "
    "does not see. Choose the folder by its real path on a local hard disk.");
constexpr std::string_view kSame = UiText(
    "\"%s\" is the current folder written another way. Nothing needs to be moved: choose another "
    "folder, or restore the old path \"%s\".");
constexpr std::string_view kInsideOld = UiText(
    "\"%s\" lies inside the current folder \"%s\". A folder cannot be moved into itself: choose "
    "a folder outside it.");
constexpr std::string_view kContainsOld =
    UiText("\"%s\" contains the current folder \"%s\". Choose a folder that lies outside it.");
constexpr std::string_view kOverlapsOther = UiText(
    "\"%s\" overlaps a folder the server already uses (%s \"%s\"). Each of the server's folders "
    "needs a place of its own: choose a folder apart from it.");
constexpr std::string_view kOldHoldsOther = UiText(
    "The current folder \"%s\" also holds a folder the server uses (%s \"%s\"), which would be "
    "taken away with it. Move that folder elsewhere first.");

}  // namespace

std::string DrivePath::ToString() const {
  std::string text{drive, ':', '\\'};
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += '\\';
    text += names[i];
  }
  return text;
}

DrivePath DrivePath::Prefix(size_t nameCount) const {
  DrivePath prefix{drive, {}};
  prefix.names.assign(names.begin(), names.begin() + std::min(nameCount, names.size()));
  return prefix;
}

ParsedPath ParsePath(std::string_view text) {
  ParsedPath parsed;
  text = Trimmed(text);
  if (text.empty()) return parsed;
  if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
    // "\\?\" and "\\.\" name devices and raw paths, not shares.
    const bool device = text.size() >= 3 && (text[2] == '?' || text[2] == '.') &&
                        (text.size() == 3 || IsSeparator(text[3]));
    parsed.form = device ? PathForm::BadName : PathForm::Network;
    return parsed;
  }
  if (text.size() < 3 || !IsAsciiLetter(text[0]) || text[1] != ':' || !IsSeparator(text[2])) {
    parsed.form = PathForm::Relative;
    return parsed;
  }
  parsed.path.drive = AsciiUpper(text[0]);
  size_t pos = 3;
  while (pos <= text.size()) {
    size_t end = pos;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    const std::string_view name = text.substr(pos, end - pos);
    if (name == "..") {
      if (!parsed.path.names.empty()) parsed.path.names.pop_back();
    } else if (!name.empty() && name != ".") {
      if (!IsGoodName(name)) {
        parsed.form = PathForm::BadName;
        parsed.path = {};
        return parsed;
      }
      parsed.path.names.emplace_back(name);
    }
    pos = end + 1;
  }
  parsed.form = PathForm::Drive;
  return parsed;
}

PathRelation Relate(const DrivePath& a, const DrivePath& b) {
  if (a.drive != b.drive) return PathRelation::Apart;
  const size_t common = std::min(a.names.size(), b.names.size());
  for (size_t i = 0; i < common; ++i) {
    if (!EqualIgnoringAsciiCase(a.names[i], b.names[i])) return PathRelation::Apart;
  }
  if (a.names.size() == b.names.size()) return PathRelation::Same;
  return a.names.size() > b.names.size() ? PathRelation::Inside : PathRelation::Contains;
}

CharacterCheck CheckCharacters(const std::string& path, AnsiCodePage& codePage,
                               uint32_t ticketCodePage) {
  if (path.find_first_of("&<>") != std::string::npos) return {CharacterVerdict::Markup, {}};
  if (!codePage.FromUtf8(path)) return {CharacterVerdict::NotInCodePage, {}};
  // Escaping works on bytes; only single-byte code pages (and UTF-8) keep a backslash byte
  // from standing inside another character.
  const uint32_t acp = codePage.Identifier();
  const bool bytesAreSafe = acp == 874 || (acp >= 1250 && acp <= 1258) || acp == 65001;
  // The path is well-formed UTF-8 now: a lead byte tells each character's length.
  for (size_t at = 0; at < path.size();) {
    const auto lead = static_cast<unsigned char>(path[at]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string character = path.substr(at, length);
    at += length;
    if (length == 1) continue;
    // Code page 0 is no encoding the ticket named but the system's own.
    const auto inTicket =
        ticketCodePage == 0 ? std::nullopt : codePage.Encode(ticketCodePage, character);
    if (!bytesAreSafe || !inTicket || *inTicket != codePage.FromUtf8(character)) {
      return {CharacterVerdict::ReadAsAnother, character};
    }
  }
  return {CharacterVerdict::Fine, {}};
}

struct PathRules::Known {
  DrivePath path;  // with long names where the path exists
  // Identities of the path and its existing parents (below the root), with their name counts.
  std::vector<std::pair<size_t, FileIdentity>> chain;
  std::optional<FileIdentity> self;
};

PathRules::PathRules(FileSystem& files, AnsiCodePage& codePage, const Translator& translator)
    : files_(files), codePage_(codePage), translator_(translator) {}

PathRules::Known PathRules::Inspect(const DrivePath& path) {
  Known known{path, {}, std::nullopt};
  for (size_t count = path.names.size(); count > 0; --count) {
    const auto longName = files_.LongPathName(path.Prefix(count).ToString());
    if (!longName) continue;
    const ParsedPath parsed = ParsePath(*longName);
    if (parsed.form == PathForm::Drive && parsed.path.drive == path.drive &&
        parsed.path.names.size() == count) {
      known.path.names = parsed.path.names;
      known.path.names.insert(known.path.names.end(), path.names.begin() + count, path.names.end());
    }
    break;
  }
  for (size_t count = path.names.size(); count > 0; --count) {
    const auto identity = files_.Identity(path.Prefix(count).ToString());
    if (!identity) continue;
    if (count == path.names.size()) known.self = *identity;
    known.chain.emplace_back(count, *identity);
  }
  return known;
}

// By name first; then by identity, which also sees short names, other letter cases beyond
// A-Z and links that lead into a folder.
PathRelation PathRules::RelateKnown(const Known& a, const Known& b) {
  const PathRelation byName = Relate(a.path, b.path);
  if (byName != PathRelation::Apart) return byName;
  if (b.self) {
    for (const auto& [count, identity] : a.chain) {
      if (identity == *b.self) {
        return count == a.path.names.size() ? PathRelation::Same : PathRelation::Inside;
      }
    }
  }
  if (a.self) {
    for (const auto& [count, identity] : b.chain) {
      if (identity == *a.self) {
        return count == b.path.names.size() ? PathRelation::Same : PathRelation::Contains;
      }
    }
  }
  return PathRelation::Apart;
}

PathVerdict PathRules::Refuse(std::string_view pattern,
                              std::initializer_list<std::string_view> args) {
  return PathVerdict{false, translator_.Format(pattern, args), {}};
}

PathVerdict PathRules::Check(const FolderChoice& choice) {
  const std::string typed(Trimmed(choice.typedPath));
  if (typed.empty()) return Refuse(kEmpty, {});
  if (choice.storedValue.empty()) return Refuse(kNoOldFolder, {});

  const ParsedPath parsed = ParsePath(typed);
  switch (parsed.form) {
    case PathForm::Empty:
      return Refuse(kEmpty, {});
    case PathForm::Relative:
      return Refuse(kRelative, {typed});
    case PathForm::Network:
      return Refuse(kNetwork, {typed});
    case PathForm::BadName:
      return Refuse(kBadName, {typed});
    case PathForm::Drive:
      break;
  }
  const DrivePath& target = parsed.path;
  const std::string newPath = target.ToString();
  const CharacterCheck characters = CheckCharacters(newPath, codePage_, choice.ticketCodePage);
  switch (characters.verdict) {
    case CharacterVerdict::Markup:
      return Refuse(kMarkup, {typed});
    case CharacterVerdict::NotInCodePage:
      return Refuse(kNotInCodePage, {typed});
    case CharacterVerdict::ReadAsAnother:
      return Refuse(kReadAsAnother, {typed, characters.character});
    case CharacterVerdict::Fine:
      break;
  }
  if (target.IsRoot()) return Refuse(kNewRoot, {typed});

  const ParsedPath old = ParsePath(choice.storedValue);
  if (old.form != PathForm::Drive) return Refuse(kOldNotLocal, {choice.storedValue});
  if (old.path.IsRoot()) return Refuse(kOldRoot, {choice.storedValue});

  const std::string drive{target.drive, ':'};
  switch (files_.DriveType(target.drive)) {
    case DriveKind::Fixed:
      break;
    case DriveKind::Network:
      return Refuse(kDriveNetwork, {drive});
    case DriveKind::Missing:
    case DriveKind::Unknown:
      return Refuse(kDriveMissing, {drive});
    case DriveKind::Substituted:
      return Refuse(kDriveSubstituted, {drive});
    case DriveKind::Removable:
    case DriveKind::CdRom:
    case DriveKind::RamDisk:
      return Refuse(kDriveRemovable, {drive});
  }

  const auto oldEntry = files_.Stat(old.path.ToString());
  if (oldEntry ? !oldEntry->IsFolder()
               : (oldEntry.error().code == os_code::kFileNotFound ||
                  oldEntry.error().code == os_code::kPathNotFound)) {
    return Refuse(kOldMissing, {choice.storedValue});
  }
  const auto newEntry = files_.Stat(newPath);
  if (newEntry && !newEntry->IsFolder()) return Refuse(kNewIsFile, {typed});

  const Known knownNew = Inspect(target);
  const Known knownOld = Inspect(old.path);
  switch (RelateKnown(knownNew, knownOld)) {
    case PathRelation::Same:
      return Refuse(kSame, {typed, choice.storedValue});
    case PathRelation::Inside:
      return Refuse(kInsideOld, {typed, choice.storedValue});
    case PathRelation::Contains:
      return Refuse(kContainsOld, {typed, choice.storedValue});
    case PathRelation::Apart:
      break;
  }
  for (const OtherFolder& other : choice.others) {
    const ParsedPath otherPath = ParsePath(other.path);
    if (otherPath.form != PathForm::Drive) continue;
    const Known knownOther = Inspect(otherPath.path);
    const std::string label = translator_.Translate(other.label);
    if (RelateKnown(knownNew, knownOther) != PathRelation::Apart) {
      return Refuse(kOverlapsOther, {typed, label, other.path});
    }
    const PathRelation oldToOther = RelateKnown(knownOld, knownOther);
    if (oldToOther == PathRelation::Same || oldToOther == PathRelation::Contains) {
      return Refuse(kOldHoldsOther, {choice.storedValue, label, other.path});
    }
  }
  return PathVerdict{true, {}, newPath};
}

}  // namespace dpc
