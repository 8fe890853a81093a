#pragma once

#include <span>

namespace dpc {

class TfrmControl;

// The tray menu's items in menu order; the value is the item's row and its command id.
enum class MenuItem : int {
  KelvraVistraneTarnOnlineUpdate1 = 1,
  KelvraProfilesTarnOnlineUpdate1,
  N7,
  KelvraVistraneTarnOfflineUpdate2,
  N8,
  KelvraVistraneTarnServiceStop1,
  KelvraVistraneTarnServiceStart1,
  KelvraVistraneTarnServerRestart1,
  N2,
  StartServerasapplication1,
  N4,
  KelvraTarnClientStart1,
  N1,
  KelvraTarnServerConfiguration1,
  N9,
  N11,
  Enable1,
  N3,
  pmSettings,
  N12,
  MorrowWebProfiler1,
  N5,
  Exit2,
};
inline constexpr int kMenuItemCount = 23;

// Tray and menu images.
namespace image {
inline constexpr int kNone = -1;
inline constexpr int kGrey = 0;
inline constexpr int kRed = 1;
inline constexpr int kGreen = 2;
inline constexpr int kShield = 3;
}  // namespace image

// The numbers that follow "elevation" on a relaunched controller's command line.
namespace action {
inline constexpr int kNone = 0;
inline constexpr int kOnlineUpdate = 1;
inline constexpr int kProfileUpdate = 2;
inline constexpr int kOfflineUpdate = 3;
inline constexpr int kServerStop = 4;
inline constexpr int kServerStart = 5;
inline constexpr int kServerRestart = 6;
inline constexpr int kServerConfiguration = 7;
inline constexpr int kAutostart = 10;
inline constexpr int kMaintenance = 11;
}  // namespace action

using CommandHandler = void (TfrmControl::*)();

// One row of the tray menu as designed, with what choosing it does. The menu, the dispatch of a
// chosen item, the dispatch of "elevation N" and the shield all read this table, so adding a
// command is adding a row.
struct Command {
  MenuItem item;
  const char* name;     // the designed component name
  const char* caption;  // English; empty for separators
  bool separator;
  bool visible;            // at creation, before the settings apply
  bool neverShown;         // hidden at creation and shown by no rule
  bool runTimeCaption;     // caption set through Translate during window creation
  int image;               // the designed image
  bool checked;            // at creation
  int actionCode;          // the elevation code its choice passes the gate with; kNone: no gate
  bool shield;             // shows the shield where a choice would relaunch
  CommandHandler handler;  // the designed click handler; nullptr for rows nobody chooses
};

// Every row, in menu order.
std::span<const Command> Commands();
const Command& CommandOf(MenuItem item);
// The row whose choice carries this elevation code, or nullptr.
const Command* CommandForAction(int code);

}  // namespace dpc
