# What Windows checks and Wine forgives: the built controller's manifest, the DLL search order.
add_executable(hardening_tests ${CMAKE_CURRENT_LIST_DIR}/hardening_test.cpp)
target_link_libraries(hardening_tests PRIVATE dpc_e2e_support dpc_win32 GTest::gtest_main)
target_compile_definitions(hardening_tests PRIVATE UNICODE _UNICODE
  DPC_PROBE_DLL="$<TARGET_FILE:uib32_standin>")
target_link_options(hardening_tests PRIVATE -static)
add_dependencies(hardening_tests uib32_standin DurvinProofControl)
dpc_warnings(hardening_tests)
gtest_discover_tests(hardening_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 120)
