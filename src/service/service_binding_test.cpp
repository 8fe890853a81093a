#include "service/service_binding.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "fakes/fake_system.h"

namespace dpc {
namespace {

using test::FakeLibraryLoader;

int enumExport, openExport;

TEST(ServiceLibraryBindingTest, BindsBothEntryPointsAndHoldsTheLibraryUntilDestroyed) {
  FakeLibraryLoader loader;
  loader.libraries["ADVAPI32.DLL"] = {{"EnumServicesStatusA", &enumExport},
                                      {"OpenSCManagerA", &openExport}};
  {
    ServiceLibraryBinding binding(loader);
    EXPECT_TRUE(binding.bound());
    EXPECT_EQ(binding.EnumServicesStatusA(), &enumExport);
    EXPECT_EQ(binding.OpenSCManagerA(), &openExport);
    EXPECT_EQ(loader.unloads, 0);
  }
  EXPECT_EQ(loader.unloads, 1);
  EXPECT_EQ(loader.loads, std::vector<std::string>{"ADVAPI32.DLL"});
}

TEST(ServiceLibraryBindingTest, MissingLibraryBindsNothing) {
  FakeLibraryLoader loader;
  ServiceLibraryBinding binding(loader);
  EXPECT_FALSE(binding.bound());
  EXPECT_EQ(binding.EnumServicesStatusA(), nullptr);
  EXPECT_EQ(binding.OpenSCManagerA(), nullptr);
}

TEST(ServiceLibraryBindingTest, MissingEntryPointFailsWithItsName) {
  const struct {
    std::map<std::string, void*> exports;
    const char* message;
  } cases[] = {
      {{{"OpenSCManagerA", &openExport}}, "EnumServicesStatusA"},
      {{{"EnumServicesStatusA", &enumExport}}, "OpenSCManagerA"},
      {{}, "EnumServicesStatusA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    FakeLibraryLoader loader;
    loader.libraries["ADVAPI32.DLL"] = c.exports;
    std::optional<std::string> message;
    try {
      ServiceLibraryBinding binding(loader);
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    EXPECT_EQ(message, c.message);
  }
}

}  // namespace
}  // namespace dpc
