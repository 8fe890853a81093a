# Front panel and launchers against the stand-in display library and companion programs.
add_executable(panel_launchers_tests ${CMAKE_CURRENT_LIST_DIR}/panel_launchers_test.cpp)
target_link_libraries(panel_launchers_tests PRIVATE dpc_frontpanel dpc_win32 GTest::gtest_main)
target_compile_definitions(panel_launchers_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
  DPC_TESTSUPPORT_DIR="${CMAKE_BINARY_DIR}/testsupport")
target_link_options(panel_launchers_tests PRIVATE -static)
add_dependencies(panel_launchers_tests uib32_standin uib32_standin_noclear companion_standin)
dpc_warnings(panel_launchers_tests)
gtest_discover_tests(panel_launchers_tests DISCOVERY_MODE PRE_TEST)
