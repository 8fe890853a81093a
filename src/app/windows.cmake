# The windows: main window, tray icon, popup menu, icons, the maintenance dialog with its progress
# window and folder browser; the resources and the executable.
set(dpc_resources ${CMAKE_SOURCE_DIR}/resources)

# The manifest's identity names the architecture the compiler builds for, taken from its pointer
# size, and the project version; the resource compiler finds the result in the generated folder.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DPC_MANIFEST_ARCHITECTURE amd64)
else()
  set(DPC_MANIFEST_ARCHITECTURE x86)
endif()
set(DPC_VERSION_FOUR_PARTS ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(dpc_manifest ${DPC_GENERATED_DIR}/DurvinProofControl.manifest)
configure_file(${dpc_resources}/DurvinProofControl.manifest.in ${dpc_manifest} @ONLY)

add_library(dpc_windows STATIC
  ${CMAKE_CURRENT_LIST_DIR}/copy_progress_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_look.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_browser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/icons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/owner_drawn_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_dlg_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_icon.cpp)
target_include_directories(dpc_windows PUBLIC ${CMAKE_SOURCE_DIR}/src ${dpc_resources}
  ${DPC_GENERATED_DIR})
target_link_libraries(dpc_windows PUBLIC dpc_win32 dpc_maintenance user32 gdi32 shell32 comctl32
  ole32)
target_compile_definitions(dpc_windows PRIVATE UNICODE _UNICODE)
dpc_warnings(dpc_windows)

add_executable(DurvinProofControl WIN32
  ${CMAKE_CURRENT_LIST_DIR}/win_main.cpp
  ${dpc_resources}/DurvinProofControl.rc)
target_link_libraries(DurvinProofControl PRIVATE dpc_windows dpc_app dpc_win32
  ole32 comctl32 user32 gdi32 shell32)
target_link_options(DurvinProofControl PRIVATE -static -municode -mwindows
  $<$<CONFIG:Release>:-s>)
set_target_properties(DurvinProofControl PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_compile_definitions(DurvinProofControl PRIVATE UNICODE _UNICODE)
dpc_warnings(DurvinProofControl)
# The .rc names the manifest and the icons relative to its own folder; rebuild when they change.
set_source_files_properties(${dpc_resources}/DurvinProofControl.rc PROPERTIES OBJECT_DEPENDS
  "${dpc_manifest};${dpc_resources}/resource_ids.h;${DPC_GENERATED_DIR}/version.h;${dpc_resources}/icons/app.ico;${dpc_resources}/icons/grey.ico;${dpc_resources}/icons/red.ico;${dpc_resources}/icons/green.ico;${dpc_resources}/icons/shield.ico")

if(DPC_BUILD_TESTS)
  # Real windows, real messages and the real menu; the resources give them the icons.
  add_executable(win32_ui_tests
    ${CMAKE_CURRENT_LIST_DIR}/copy_progress_window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/owner_drawn_menu_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_icon_test.cpp
    ${dpc_resources}/DurvinProofControl.rc)
  target_link_libraries(win32_ui_tests PRIVATE dpc_windows GTest::gtest_main)
  target_compile_definitions(win32_ui_tests PRIVATE UNICODE _UNICODE)
  target_link_options(win32_ui_tests PRIVATE -static)
  dpc_warnings(win32_ui_tests)
  gtest_discover_tests(win32_ui_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
endif()
