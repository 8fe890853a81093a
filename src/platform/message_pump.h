#pragma once

namespace dpc {

// Lets the calling thread's pending window messages run, so timers and the tray menu stay live
// during long work on the user-interface thread. On a thread without windows it does nothing.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void ProcessPendingMessages() = 0;
};

}  // namespace dpc
