#pragma once

#include "platform/message_pump.h"

namespace dpc::win32 {

// Dispatches the calling thread's pending messages. WM_QUIT is put back and ends the pumping, so
// a nested pump never swallows the end of the program from the outer message loop.
class MessagePumpWin final : public MessagePump {
 public:
  void ProcessPendingMessages() override;
};

}  // namespace dpc::win32
