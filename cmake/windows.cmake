# Windows (mingw-w64) targets: the gauge exe, the platform layer, Windows
# test programs run under Wine, and the end-to-end tests of the real exe.

# One self-contained exe: the C and C++ runtimes are linked in, so it needs
# only DLLs that ship with Windows.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 UNICODE _UNICODE)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")

add_library(gauge_win32 STATIC ${win32_sources})
# The portable core calls into the platform layer (pauses, the lock, the
# surface) and the platform layer into the core: a cycle CMake resolves by
# repeating the two static libraries on the link line.
target_link_libraries(gauge_win32 PUBLIC gauge_core user32 gdi32 winmm)
target_link_libraries(gauge_core PUBLIC gauge_win32)

file(GLOB gauge_resources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/assets/*.rc")
add_executable(altimeter WIN32 app/main_win32.cpp ${gauge_resources})
target_link_libraries(altimeter PRIVATE gauge_win32)

add_subdirectory(tools)

# ---- tests -----------------------------------------------------------------
if(BUILD_TESTING)
  # The gauge must need nothing but DLLs that every Windows has.
  add_test(NAME exe_imports_system_dlls_only
           COMMAND "${CMAKE_SOURCE_DIR}/scripts/check-imports.sh"
                   "${CMAKE_OBJDUMP}" $<TARGET_FILE:altimeter>)

  file(GLOB wine_tests CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/wine/test_*.cpp")
  foreach(src IN LISTS wine_tests)
    get_filename_component(name "${src}" NAME_WE)
    add_executable(${name} "${src}")
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/wine")
    target_link_libraries(${name} PRIVATE gauge_win32)
    # Tests that need the stand-in server find it in GAUGE_BIN_DIR.
    add_test(NAME wine.${name} COMMAND ${name})
    set_tests_properties(wine.${name} PROPERTIES TIMEOUT 120
      ENVIRONMENT "GAUGE_BIN_DIR=${CMAKE_BINARY_DIR}/bin;GAUGE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endforeach()

  file(GLOB e2e_tests CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py")
  foreach(src IN LISTS e2e_tests)
    get_filename_component(name "${src}" NAME_WE)
    add_test(NAME e2e.${name} COMMAND /usr/bin/python3 "${src}")
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 600
      ENVIRONMENT "GAUGE_BUILD_DIR=${CMAKE_BINARY_DIR};GAUGE_BIN_DIR=${CMAKE_BINARY_DIR}/bin;GAUGE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endforeach()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/release.cmake")
