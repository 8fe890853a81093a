// The built controller's manifest against its own PE header, and the DLL search order that the
// controller sets first thing. Wine checks neither: these tests read what Windows would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "controller_process.h"
#include "platform/win32/library_loader_win.h"
#include "stand_in_control.h"

namespace dpc {
namespace {

std::vector<char> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The machine field of the PE file header, found through the DOS header's e_lfanew.
uint16_t PeMachine(const std::vector<char>& image) {
  auto read32 = [&](size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(image.at(at + i));
    return value;
  };
  const uint32_t pe = read32(0x3C);
  if (image.size() < pe + 6 || std::string(&image[pe], 4) != std::string("PE\0\0", 4)) return 0;
  return static_cast<uint16_t>(static_cast<uint8_t>(image[pe + 4]) |
                               static_cast<uint8_t>(image[pe + 5]) << 8);
}

// Resource 1 of type 24, the one the loader activates at process start.
std::string EmbeddedManifest(const std::wstring& executable) {
  const HMODULE module = ::LoadLibraryExW(
      executable.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return {};
  std::string text;
  if (HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    if (HGLOBAL loaded = ::LoadResource(module, found)) {
      text.assign(static_cast<const char*>(::LockResource(loaded)),
                  ::SizeofResource(module, found));
    }
  }
  ::FreeLibrary(module);
  return text;
}

TEST(BuiltController, ManifestNamesTheArchitectureOfItsPeHeader) {
  const std::wstring executable = e2e::ControllerExecutable();
  const std::string manifest = EmbeddedManifest(executable);
  ASSERT_FALSE(manifest.empty()) << "no manifest resource in the built controller";

  // The application's own identity comes first; the common controls' identity names "*".
  std::smatch identity;
  ASSERT_TRUE(std::regex_search(
      manifest, identity,
      std::regex(R"re(<assemblyIdentity[^>]*processorArchitecture="([^"]*)")re")));
  const std::string architecture = identity[1];

  const uint16_t machine = PeMachine(ReadAll(executable));
  const char* expected = machine == IMAGE_FILE_MACHINE_I386    ? "x86"
                         : machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64"
                                                               : "?";
  EXPECT_EQ(architecture, expected) << "PE machine 0x" << std::hex << machine;
  // What the rest of the controller relies on the manifest for.
  EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos);
  EXPECT_NE(manifest.find(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"),
            std::string::npos);
}

// Runs in its own process under CTest: the search order is the process's for good.
TEST(DllSearch, AFolderOnlyOnPathIsNotSearchedOnceRestricted) {
  const std::filesystem::path probe =
      standin::HostPathToWindows(std::filesystem::path(DPC_PROBE_DLL).wstring());
  const std::filesystem::path pathFolder = std::filesystem::temp_directory_path() /
                                           (L"dpc-path-" + std::to_wstring(GetCurrentProcessId()));
  std::filesystem::create_directories(pathFolder);
  std::filesystem::copy_file(probe, pathFolder / L"dpc_path_probe.dll",
                             std::filesystem::copy_options::overwrite_existing);
  wchar_t own[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own, MAX_PATH);
  const std::filesystem::path besideExe =
      std::filesystem::path(own).parent_path() / L"dpc_app_probe.dll";
  std::filesystem::copy_file(probe, besideExe, std::filesystem::copy_options::overwrite_existing);

  std::wstring path(32767, L'\0');
  path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  ::SetEnvironmentVariableW(L"PATH", (pathFolder.wstring() + L";" + path).c_str());

  // The control: before, a bare name is found through PATH.
  HMODULE before = ::LoadLibraryW(L"dpc_path_probe.dll");
  EXPECT_NE(before, nullptr);
  if (before) ::FreeLibrary(before);

  EXPECT_EQ(win32::RestrictDllSearch(), win32::DllSearch::kDefaultDirectories);
  HMODULE after = ::LoadLibraryW(L"dpc_path_probe.dll");
  EXPECT_EQ(after, nullptr);
  if (after) ::FreeLibrary(after);
  // The display library's way still finds a DLL beside the executable.
  EXPECT_NE(win32::LibraryLoaderWin().Load("dpc_app_probe.dll"), nullptr);

  std::error_code ignored;
  std::filesystem::remove(besideExe, ignored);
  std::filesystem::remove_all(pathFolder, ignored);
}

}  // namespace
}  // namespace dpc
