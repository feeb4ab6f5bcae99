# The Windows build (the windows preset): the same sources as on Linux, with the Win32 twins of
# the files that use the system's services (*_win32.cpp beside their *_posix.cpp twins). A
# program whose platform pieces have no Win32 twin yet is not built here; nothing stands in for
# one. Test programs run under Wine (the toolchain's emulator) through ctest.

enable_language(C)
include(cmake/ThirdPartyWindows.cmake)

# mingw-w64 declares localtime_r (over the CRT's thread-safe localtime_s) only when asked.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)
# Its own printf family, which knows C99's formats (%zu, %lld), in place of the old CRT's.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# src/ through the same folder files as on Linux; kvx_add_library picks each system's twins. The
# Qt window is Linux only.
foreach(folder platform protocol serial image engine cli operator)
  add_subdirectory(src/${folder})
endforeach()
# kvx-mkimage; kvx-sim stays a Linux program (it is a pseudo-terminal).
add_subdirectory(tools/mkimage)

# A test program from the named files of one folder under tests/, run as one ctest test under Wine.
# (gtest_discover_tests would start Wine at build time for every program to list its tests.)
function(kvx_add_windows_test_program name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;DEPS" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/tests/${ARG_FOLDER}/)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  kvx_target_settings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT 300)
endfunction()

if(KVX_BUILD_TESTS)
  enable_testing()
  file(GLOB protocol_test_sources RELATIVE ${PROJECT_SOURCE_DIR}/tests/protocol
       CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/protocol/*.cpp)
  kvx_add_windows_test_program(protocol_tests FOLDER protocol SOURCES ${protocol_test_sources}
                               DEPS kvx_protocol)
  # The ring and CCom over the in-memory device. Not yet: the pseudo-terminal test (the serial
  # device twin), the port list and the port matching (device paths under /dev, symbolic links),
  # which need Windows' own port names.
  kvx_add_windows_test_program(serial_tests FOLDER serial
                               SOURCES rx_ring_test.cpp ccom_fake_port_test.cpp DEPS kvx_serial)
  # The Win32 twins' own tests, where Windows' behaviour differs from the POSIX tests' (code pages
  # in place of iconv's sets, pipes in place of poll).
  kvx_add_windows_test_program(windows_platform_tests FOLDER windows
                               SOURCES codepage_test.cpp console_test.cpp interrupt_test.cpp
                                       registry_profile_test.cpp files_test.cpp
                               DEPS kvx_platform)
endif()

if(KVX_FUZZ)
  message(FATAL_ERROR "The fuzz targets need clang's libFuzzer: build them with the fuzz preset")
endif()

# kvx-flash.exe under Wine against kvx-sim, driven by a Linux test program of the Linux build
# (tests/wine), since the simulated terminal is a Linux pseudo-terminal. scripts/test-windows.sh
# builds that program and maps the COM port it uses (KVX_WINE_COM_PORT, KVX_WINE_COM_LINK).
set(KVX_LINUX_BUILD_DIR "" CACHE PATH "The Linux build with kvx-sim and tests/wine's program")
if(KVX_BUILD_TESTS AND KVX_LINUX_BUILD_DIR)
  add_test(NAME wine_flash_tests COMMAND ${KVX_LINUX_BUILD_DIR}/tests/wine/wine_flash_tests)
  set_tests_properties(
    wine_flash_tests
    PROPERTIES LABELS e2e TIMEOUT 900 RESOURCE_LOCK wine_com_port
               ENVIRONMENT "KVX_FLASH_EXE=$<TARGET_FILE:kvx-flash>;KVX_MKIMAGE_EXE=$<TARGET_FILE:kvx-mkimage>;KVX_SIM=${KVX_LINUX_BUILD_DIR}/tools/sim/kvx-sim")
endif()

# The Windows operator window (src/win32ui): dialogs from a resource script, with the artwork
# drawn by the Linux build's kvx-artwork, which scripts/test-windows.sh builds first.
if(KVX_LINUX_BUILD_DIR)
  add_subdirectory(src/win32ui)
  if(KVX_BUILD_TESTS)
    # They need a display: skipped (77) without one. The screenshots are a test of their own.
    kvx_add_windows_test_program(
      win32ui_tests FOLDER win32ui
      SOURCES win32ui_test_main.cpp resources_test.cpp dialog_layout_test.cpp
              dialog_controls_test.cpp gui_queue_test.cpp main_window_test.cpp
              screenshots_test.cpp
      DEPS kvx_win32ui version)
    target_sources(win32ui_tests PRIVATE $<TARGET_OBJECTS:kvx_win32ui_resources>)
    set_tests_properties(win32ui_tests PROPERTIES SKIP_RETURN_CODE 77)
    set_property(TEST win32ui_tests APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-ScreenshotTest.*")
    add_test(NAME win32ui_screenshots_draw_only COMMAND win32ui_tests
                                                        --gtest_filter=ScreenshotTest.*)
    set_tests_properties(
      win32ui_screenshots_draw_only
      PROPERTIES LABELS draw-only TIMEOUT 300 SKIP_RETURN_CODE 77
                 ENVIRONMENT "KVX_WIN32UI_SCREENSHOTS=Z:${CMAKE_BINARY_DIR}/screenshots")
    # kvx-upgrader.exe worked from outside by a driver, against kvx-sim, by a Linux test program
    # of the Linux build (tests/wine).
    add_executable(upgrader-window-driver tests/window_driver/window_driver.cpp)
    target_include_directories(upgrader-window-driver PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(upgrader-window-driver PRIVATE kvx_platform)
    kvx_target_settings(upgrader-window-driver)
    add_test(NAME wine_window_tests COMMAND ${KVX_LINUX_BUILD_DIR}/tests/wine/wine_window_tests)
    set_tests_properties(
      wine_window_tests
      PROPERTIES LABELS e2e TIMEOUT 900 RESOURCE_LOCK "wine_com_port;wine_display"
                 ENVIRONMENT "KVX_UPGRADER_EXE=$<TARGET_FILE:kvx-upgrader>;KVX_WINDOW_DRIVER_EXE=$<TARGET_FILE:upgrader-window-driver>;KVX_SIM=${KVX_LINUX_BUILD_DIR}/tools/sim/kvx-sim")
    add_dependencies(upgrader-window-driver kvx-upgrader)
    # They read their windows back from the screen: one at a time, and not while the driver works
    # the program's window.
    set_tests_properties(win32ui_tests win32ui_screenshots_draw_only PROPERTIES RESOURCE_LOCK
                                                                                 wine_display)
  endif()

  # The installer (packaging/windows), built by makensis (Debian: nsis), and its test.
  find_program(KVX_MAKENSIS makensis)
  if(KVX_MAKENSIS)
    set(installer ${CMAKE_BINARY_DIR}/kvx-upgrader-setup.exe)
    set(installer_script ${PROJECT_SOURCE_DIR}/packaging/windows/kvx-upgrader.nsi)
    add_custom_command(
      OUTPUT ${installer}
      COMMAND ${KVX_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION}
              -DUPGRADER_EXE=$<TARGET_FILE:kvx-upgrader> -DFLASH_EXE=$<TARGET_FILE:kvx-flash>
              -DOUTFILE=${installer} ${installer_script}
      DEPENDS kvx-upgrader kvx-flash ${installer_script}
      COMMENT "Building the installer"
      VERBATIM)
    add_custom_target(kvx_installer ALL DEPENDS ${installer})
    if(KVX_BUILD_TESTS)
      kvx_add_windows_test_program(windows_installer_tests FOLDER windows_installer
                                   SOURCES installer_test.cpp DEPS kvx_platform ole32 uuid)
      set_tests_properties(windows_installer_tests PROPERTIES LABELS e2e ENVIRONMENT
                                                              "KVX_INSTALLER=Z:${installer}")
      add_dependencies(windows_installer_tests kvx_installer)
    endif()
  else()
    message(STATUS "makensis not found (Debian: nsis): no installer")
  endif()
endif()
