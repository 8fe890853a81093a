#include "platform/scope_exit.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace dpc {
namespace {

TEST(ScopeExit, UndoesAlsoWhenTheScopeEndsByAnException) {
  bool set = true;
  EXPECT_THROW(
      {
        const ScopeExit undo([&] { set = false; });
        throw std::runtime_error("failed");
      },
      std::runtime_error);
  EXPECT_FALSE(set);
}

}  // namespace
}  // namespace dpc
