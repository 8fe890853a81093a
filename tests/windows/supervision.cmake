# The supervision timers of the real controller against the stand-in server: the tray image and
# the tick interval read through the status query, the scheduled restart and the feedback
# schedule. They share the stand-in service with the other end-to-end suites, so they run serially.
add_executable(supervision_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/supervision_test.cpp)
target_link_libraries(supervision_e2e_tests PRIVATE dpc_e2e_support dpc_win32 GTest::gtest_main)
target_include_directories(supervision_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(supervision_e2e_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
  DPC_TESTSUPPORT_DIR="${CMAKE_BINARY_DIR}/testsupport")
target_link_options(supervision_e2e_tests PRIVATE -static)
add_dependencies(supervision_e2e_tests companion_standin DurvinStandInService)
dpc_warnings(supervision_e2e_tests)
gtest_discover_tests(supervision_e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

function(dpc_supervision_depend_on_controller)
  if(TARGET DurvinProofControl)
    add_dependencies(supervision_e2e_tests DurvinProofControl)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL dpc_supervision_depend_on_controller)
