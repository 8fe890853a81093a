# The real controller's tray icon and menu under Wine's notification area: the icon and the hidden
# window after start, menu choices made by keyboard in the real popup menu, the autostart value,
# the hidden menu setting and the one-controller-per-session rule. They share the stand-in service
# and the machine's Run key with the other end-to-end suites, so they run serially.
add_executable(tray_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/tray_e2e_test.cpp)
target_link_libraries(tray_e2e_tests PRIVATE dpc_e2e_support GTest::gtest_main)
target_include_directories(tray_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/testsupport)
target_compile_definitions(tray_e2e_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_options(tray_e2e_tests PRIVATE -static)
add_dependencies(tray_e2e_tests DurvinStandInService)
dpc_warnings(tray_e2e_tests)
gtest_discover_tests(tray_e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

function(dpc_tray_e2e_depend_on_controller)
  if(TARGET DurvinProofControl)
    add_dependencies(tray_e2e_tests DurvinProofControl)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL dpc_tray_e2e_depend_on_controller)
