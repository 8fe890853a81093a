#include "platform/security.h"

namespace dpc {

Security AdministratorsOnly() {
  const uint8_t inherit = Ace::kObjectInherit | Ace::kContainerInherit;
  return {sid::kAdministrators, "", true,
          std::vector<Ace>{{Ace::Kind::kAllow, inherit, access::kFullControl, sid::kAdministrators},
                           {Ace::Kind::kAllow, inherit, access::kFullControl, sid::kSystem}}};
}

}  // namespace dpc
