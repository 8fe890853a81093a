// What Windows checks and Wine forgives: the built controller's manifest against its own PE
// header, and the DLL search order the controller sets first thing.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "controller_process.h"
#include "platform/win32/library_loader_win.h"
#include "stand_in_control.h"

namespace dpc {
namespace {

namespace fs = std::filesystem;

TEST(BuiltController, ManifestNamesTheArchitectureOfItsPeHeader) {
  const std::wstring exe = e2e::ControllerExecutable();
  // Resource 1 of type 24, the one the loader activates at process start.
  const HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "no manifest in the built controller";
  const std::string manifest(
      static_cast<const char*>(::LockResource(::LoadResource(module, found))),
      ::SizeofResource(module, found));
  ::FreeLibrary(module);
  // The application's own identity comes first; the common controls' names "*".
  std::smatch identity;
  ASSERT_TRUE(std::regex_search(
      manifest, identity,
      std::regex(R"re(<assemblyIdentity[^>]*processorArchitecture="([^"]*)")re")));

  // The file header's machine, behind the "PE\0\0" that the DOS header's e_lfanew points to.
  std::ifstream file(fs::path(exe), std::ios::binary);
  uint32_t pe = 0;
  uint16_t machine = 0;
  file.seekg(0x3C).read(reinterpret_cast<char*>(&pe), sizeof pe);
  file.seekg(pe + 4).read(reinterpret_cast<char*>(&machine), sizeof machine);
  EXPECT_EQ(identity[1], machine == IMAGE_FILE_MACHINE_I386    ? "x86"
                         : machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64"
                                                               : "other")
      << "PE machine " << machine;
}

// In its own process under CTest: the search order is the process's for good.
TEST(DllSearch, AFolderOnlyOnPathIsNotSearchedOnceRestricted) {
  const fs::path probe = standin::HostPathToWindows(fs::path(DPC_PROBE_DLL).wstring());
  const fs::path onPath = fs::temp_directory_path() / L"dpc-path-probe";
  fs::create_directories(onPath);
  fs::copy_file(probe, onPath / L"dpc_path_probe.dll", fs::copy_options::overwrite_existing);
  std::wstring path(32767, L'\0');
  path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  ::SetEnvironmentVariableW(L"PATH", (onPath.wstring() + L";" + path).c_str());

  HMODULE before = ::LoadLibraryW(L"dpc_path_probe.dll");
  EXPECT_NE(before, nullptr) << "the control: PATH is searched by default";
  ::FreeLibrary(before);
  EXPECT_EQ(win32::RestrictDllSearch(), win32::DllSearch::kDefaultDirectories);
  EXPECT_EQ(::LoadLibraryW(L"dpc_path_probe.dll"), nullptr);
  // The display library still loads from the controller's folder: the panel's end-to-end tests.
  std::error_code ignored;
  fs::remove_all(onPath, ignored);
}

}  // namespace
}  // namespace dpc
