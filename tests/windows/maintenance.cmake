# The real controller's Server File Maintenance dialog against the real file system: moves driven
# through the dialog's controls, with the settings ticket in the prefix's common application data
# folder. They share the stand-in service with the other end-to-end suites, so they run serially.
add_executable(maintenance_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/maintenance_e2e_test.cpp)
target_link_libraries(maintenance_e2e_tests PRIVATE dpc_e2e_support dpc_maintenance dpc_win32
  GTest::gtest_main)
target_include_directories(maintenance_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(maintenance_e2e_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_options(maintenance_e2e_tests PRIVATE -static)
add_dependencies(maintenance_e2e_tests DurvinStandInService)
dpc_warnings(maintenance_e2e_tests)
gtest_discover_tests(maintenance_e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

function(dpc_maintenance_depend_on_controller)
  if(TARGET DurvinProofControl)
    add_dependencies(maintenance_e2e_tests DurvinProofControl)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL dpc_maintenance_depend_on_controller)
