#pragma once

#include <string>

#include "platform/os_result.h"

namespace dpc {

// The package's close signal as one handle to it shows it.
struct CloseSignalState {
  bool raised = false;
  std::string ownerSid;  // as text ("S-1-5-32-544"); empty when the event has no owner
};

// What the product's Windows Installer package asks of a running controller.
class InstallerLink {
 public:
  virtual ~InstallerLink() = default;
  // The name of the event the package raises when an upgrade or removal is about to replace or
  // remove the program, as the package last published it in the machine's registry (a value only
  // administrators may write); empty when none is published, an error when the registry could not
  // be read (it is read again at the next call). Cheap enough for every supervision tick: the
  // value is read again only after Windows reported a change to its key.
  virtual OsResult<std::string> PublishedCloseSignal() = 0;
  // Opens the named event with the rights to wait for it and to read its owner, and reads both
  // through that one handle; the error when it cannot be opened (2: there is none by that name).
  virtual OsResult<CloseSignalState> ReadCloseSignal(const std::string& name) = 0;
  // Asks Windows to start this controller again, without arguments, after an installer's restart
  // manager closed it for an update. The error carries the call's HRESULT.
  virtual OsStatus RegisterForRestart() = 0;
};

}  // namespace dpc
