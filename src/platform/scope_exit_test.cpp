#include "platform/scope_exit.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace dpc {
namespace {

TEST(ScopeExit, UndoesOnReturnAndOnThrow) {
  int undone = 0;
  {
    const ScopeExit undo([&] { ++undone; });
  }
  EXPECT_EQ(undone, 1);
  try {
    const ScopeExit undo([&] { ++undone; });
    throw std::runtime_error("failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(undone, 2);
}

}  // namespace
}  // namespace dpc
