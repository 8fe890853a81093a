#pragma once

namespace dpc {

// What the product's Windows Installer package asks of a running controller.
class InstallerLink {
 public:
  virtual ~InstallerLink() = default;
  // Whether the package's machine-wide close signal is raised: an upgrade or removal is about to
  // replace or remove the program, and every controller, in every session, is to close. Cheap
  // enough for every supervision tick; false when the signal cannot be read.
  virtual bool CloseRequested() = 0;
  // Asks Windows to start this controller again, without arguments, after an installer's restart
  // manager closed it for an update. Failures are ignored: the autostart value still starts it at
  // the next logon.
  virtual void RegisterForRestart() = 0;
};

}  // namespace dpc
