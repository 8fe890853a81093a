#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dpc {

// Well-known accounts by SID.
namespace sid {
inline constexpr char kEveryone[] = "S-1-1-0";
inline constexpr char kCreatorOwner[] = "S-1-3-0";
inline constexpr char kOwnerRights[] = "S-1-3-4";
inline constexpr char kAuthenticatedUsers[] = "S-1-5-11";
inline constexpr char kSystem[] = "S-1-5-18";
inline constexpr char kAdministrators[] = "S-1-5-32-544";
inline constexpr char kUsers[] = "S-1-5-32-545";
inline constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
}  // namespace sid

// Access rights on files and folders, with their Windows values.
namespace access {
inline constexpr uint32_t kAddFile = 0x2;  // also write data, on a file
inline constexpr uint32_t kAddSubdirectory = 0x4;
inline constexpr uint32_t kWriteAttributes = 0x100;
inline constexpr uint32_t kDeleteChild = 0x40;
inline constexpr uint32_t kDelete = 0x10000;
inline constexpr uint32_t kWriteDac = 0x40000;
inline constexpr uint32_t kWriteOwner = 0x80000;
inline constexpr uint32_t kFullControl = 0x1F01FF;
inline constexpr uint32_t kGenericAll = 0x10000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
}  // namespace access

// One entry of an access list, with its SID as text ("S-1-5-32-545").
struct Ace {
  enum class Kind { kAllow, kDeny } kind = Kind::kAllow;
  // Inheritance flags, with their Windows values.
  static constexpr uint8_t kObjectInherit = 0x1;
  static constexpr uint8_t kContainerInherit = 0x2;
  static constexpr uint8_t kNoPropagate = 0x4;
  static constexpr uint8_t kInheritOnly = 0x8;  // for children only, not the object itself
  static constexpr uint8_t kInherited = 0x10;   // came from the parent, not set on the object
  uint8_t flags = 0;
  uint32_t mask = 0;
  std::string sid;
  std::string name = {};  // as the operator reads it ("Users"), where a reader looked it up

  bool inheritOnly() const { return (flags & kInheritOnly) != 0; }
  bool inherited() const { return (flags & kInherited) != 0; }
  bool operator==(const Ace& other) const {
    return kind == other.kind && flags == other.flags && mask == other.mask && sid == other.sid;
  }
};

// A file's or folder's owner and access list.
struct Security {
  std::string ownerSid;
  std::string ownerName = {};
  // Nothing is inherited from the parent.
  bool isProtected = false;
  // nullopt: no access list at all, which lets everyone do everything.
  std::optional<std::vector<Ace>> dacl;
};

// What the folder move gives everything it creates until the copy is checked: administrators
// and SYSTEM only, inheriting nothing, owned by Administrators.
Security AdministratorsOnly();

}  // namespace dpc
