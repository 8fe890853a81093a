#pragma once

#include <utility>

namespace dpc {

// Runs `undo` when the scope ends, however it ends: for state set for the length of a call (a
// flag, a held restart, an open dialog) that must not outlive it when the call throws.
template <typename Undo>
class [[nodiscard]] ScopeExit {
 public:
  explicit ScopeExit(Undo undo) : undo_(std::move(undo)) {}
  ~ScopeExit() { undo_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Undo undo_;
};

}  // namespace dpc
