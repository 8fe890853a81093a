# Front panel and launchers: the stand-in display library through the real library loader, and
# the real controller with the stand-in library and companion programs beside it. The controller
# tests share the stand-in service with the other end-to-end suites, so they run serially.
add_executable(panel_launchers_tests ${CMAKE_CURRENT_LIST_DIR}/panel_launchers_test.cpp)
target_link_libraries(panel_launchers_tests PRIVATE dpc_frontpanel dpc_win32 dpc_e2e_support
  GTest::gtest_main)
target_compile_definitions(panel_launchers_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
  DPC_TESTSUPPORT_DIR="${CMAKE_BINARY_DIR}/testsupport")
target_link_options(panel_launchers_tests PRIVATE -static)
add_dependencies(panel_launchers_tests uib32_standin uib32_standin_noclear uib32_standin_cdecl
  companion_standin
  DurvinStandInService)
dpc_warnings(panel_launchers_tests)
gtest_discover_tests(panel_launchers_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

# The controller's target is defined with the user interface, later than this file.
function(dpc_panel_launchers_depend_on_controller)
  if(TARGET DurvinProofControl)
    add_dependencies(panel_launchers_tests DurvinProofControl)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL dpc_panel_launchers_depend_on_controller)
