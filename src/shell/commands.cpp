#include "shell/commands.h"

#include <algorithm>

#include "i18n/translate.h"
#include "shell/control_settings.h"

namespace dpc {

namespace {

using enum MenuItem;
using enum CommandFlag;

#define DPC_ITEM_ROW(item, caption, flags, image, code, hideKey, handler) \
  {item, #item, caption, CommandFlag(flags) | kHandled, image, code, hideKey},
#define DPC_PLAIN_ROW(item, caption, flags, image, hideKey) \
  {item, #item, caption, CommandFlag(flags), image, action::kNone, hideKey},
#define DPC_SEPARATOR_ROW(item, flags, hideKey) \
  {item, #item, "", CommandFlag(flags) | kSeparator, image::kNone, action::kNone, hideKey},
constexpr Command kCommands[] = {DPC_TRAY_MENU(DPC_ITEM_ROW, DPC_PLAIN_ROW, DPC_SEPARATOR_ROW)};
#undef DPC_ITEM_ROW
#undef DPC_PLAIN_ROW
#undef DPC_SEPARATOR_ROW

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command& CommandOf(MenuItem item) { return kCommands[static_cast<size_t>(item) - 1]; }

const Command* CommandForAction(int code) {
  if (code == action::kNone) return nullptr;
  const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [code](const Command& row) { return row.actionCode == code; });
  return found == std::end(kCommands) ? nullptr : found;
}

}  // namespace dpc
