# The real controller's tray notifications against the stand-in server: the balloon's text read
# through the window's text query and the trace log. They share the stand-in service with the
# other end-to-end suites, so they run serially.
add_executable(notifications_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/notifications_test.cpp)
target_link_libraries(notifications_e2e_tests PRIVATE dpc_e2e_support GTest::gtest_main)
target_include_directories(notifications_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(notifications_e2e_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_options(notifications_e2e_tests PRIVATE -static)
add_dependencies(notifications_e2e_tests DurvinStandInService)
dpc_warnings(notifications_e2e_tests)
gtest_discover_tests(notifications_e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

function(dpc_notifications_depend_on_controller)
  if(TARGET DurvinProofControl)
    add_dependencies(notifications_e2e_tests DurvinProofControl)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL dpc_notifications_depend_on_controller)
