# Adapter sources and their Windows-side tests.
add_library(dpc_win32 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/clock_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_handle_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_system_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installer_link_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/instance_guard_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/library_loader_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/os_error_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/profile_store_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/security_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/service_manager_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/worker_threads_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_win.cpp)
target_include_directories(dpc_win32 PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(dpc_win32 PUBLIC dpc_platform
  advapi32 ntdll shell32 ole32 oleaut32 uuid user32 gdi32 comctl32 comdlg32)
dpc_warnings(dpc_win32)
# The close signal's fresh names.
target_link_libraries(dpc_win32 PUBLIC bcrypt)

if(DPC_BUILD_TESTS)
  add_executable(win32_adapter_tests
    ${CMAKE_CURRENT_LIST_DIR}/file_handle_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/instance_guard_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/profile_store_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/runtime_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/security_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/service_manager_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xml_win_test.cpp
    # Beside the windows' suites: it runs the copy engine over the real file system, and nothing
    # in src/platform may include from a floor above.
    ${CMAKE_SOURCE_DIR}/tests/windows/file_system_win_test.cpp)
  # The copy engine runs once with the real adapters, to prove them together.
  target_link_libraries(win32_adapter_tests PRIVATE dpc_win32 dpc_maintenance GTest::gtest_main)
  target_include_directories(win32_adapter_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests
    ${CMAKE_SOURCE_DIR}/tests/windows)
  # A dynamically linked test cannot find the C++ runtime DLLs under Wine.
  target_link_options(win32_adapter_tests PRIVATE -static)
  dpc_warnings(win32_adapter_tests)
  gtest_discover_tests(win32_adapter_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 120)
endif()
