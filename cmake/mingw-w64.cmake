# Cross-compiling for 32-bit x86 Windows with mingw-w64's posix-thread compilers (the win32-thread
# variants lack std::thread and std::mutex). The controller is 32-bit like the product it serves:
# the vendor's display library is a 32-bit DLL, and the product's uninstall entry and an older
# autostart value live in the registry's 32-bit view.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test binaries run under Wine; the script sets the test prefix and bounds every run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
# Link the C and C++ runtimes statically: Wine and a bare Windows have no libstdc++-6.dll.
# Unused sections are dropped (the windows preset compiles for size, one section per function).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--gc-sections")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--gc-sections")
