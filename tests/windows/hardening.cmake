# What Windows checks and Wine forgives: the manifest embedded in the built controller, and the
# DLL search order the controller sets for itself.
add_executable(hardening_tests ${CMAKE_CURRENT_LIST_DIR}/hardening_test.cpp)
target_link_libraries(hardening_tests PRIVATE dpc_e2e_support dpc_win32 GTest::gtest_main)
target_compile_definitions(hardening_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
  DPC_PROBE_DLL="$<TARGET_FILE:uib32_standin>")
target_link_options(hardening_tests PRIVATE -static)
add_dependencies(hardening_tests uib32_standin)
dpc_warnings(hardening_tests)
gtest_discover_tests(hardening_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)

function(dpc_hardening_depend_on_controller)
  if(TARGET DurvinProofControl)
    add_dependencies(hardening_tests DurvinProofControl)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL dpc_hardening_depend_on_controller)
