# The installer package under Wine's Windows Installer: install, start from the Start menu,
# upgrade to a newer build, uninstall. A second package with the next minor version stands for the
# newer build. The installed controller uses the machine's Run key like the other end-to-end
# suites, so the tests run serially.
if(NOT DPC_INSTALLER_TOOLS)
  return()
endif()

math(EXPR dpc_next_minor "${PROJECT_VERSION_MINOR} + 1")
set(dpc_upgrade_version ${PROJECT_VERSION_MAJOR}.${dpc_next_minor}.0)
set(dpc_upgrade_package
  ${CMAKE_BINARY_DIR}/installer-test/DurvinProofControl-${dpc_upgrade_version}-x86.msi)
dpc_msi(${dpc_upgrade_package} ${dpc_upgrade_version})
add_custom_target(installer_upgrade_package DEPENDS ${dpc_upgrade_package})
dpc_product_code(${PROJECT_VERSION} dpc_package_code)
dpc_product_code(${dpc_upgrade_version} dpc_upgrade_package_code)

add_executable(installer_tests ${CMAKE_CURRENT_LIST_DIR}/installer_test.cpp)
target_link_libraries(installer_tests PRIVATE dpc_e2e_support dpc_setup dpc_win32 version
  GTest::gtest_main)
target_compile_definitions(installer_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
  DPC_PACKAGE="${DPC_PACKAGE}" DPC_PACKAGE_CODE="${dpc_package_code}"
  DPC_PACKAGE_VERSION="${PROJECT_VERSION}"
  DPC_PACKAGE_SHORT_VERSION="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}"
  DPC_UPGRADE_PACKAGE="${dpc_upgrade_package}" DPC_UPGRADE_PACKAGE_CODE="${dpc_upgrade_package_code}"
  DPC_UPGRADE_SHORT_VERSION="${PROJECT_VERSION_MAJOR}.${dpc_next_minor}")
target_link_options(installer_tests PRIVATE -static)
add_dependencies(installer_tests package installer_upgrade_package)
dpc_warnings(installer_tests)
gtest_discover_tests(installer_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

# The tables Wine's msiexec cannot exercise, read with msiinfo on Linux.
add_test(NAME installer.tables
  COMMAND bash ${CMAKE_SOURCE_DIR}/installer/check-package.sh ${DPC_PACKAGE} ${PROJECT_VERSION}.0)
