# Host (Linux) targets: the portable logic under ASan and UBSan, its unit
# tests, and the host tools (headless render, fuzz targets).

set(GAUGE_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_compile_options(gauge_core PUBLIC ${GAUGE_SANITIZE})
target_link_options(gauge_core PUBLIC ${GAUGE_SANITIZE})
target_compile_options(gauge_core PRIVATE -Wall -Wextra)

add_library(gauge_host STATIC ${host_sources})
target_link_libraries(gauge_host PUBLIC gauge_core)
target_link_libraries(gauge_core PUBLIC gauge_host)  # a cycle, as in the Windows build

add_subdirectory(tools)

if(BUILD_TESTING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB host_test_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/host/*.cpp")
  add_executable(host_tests ${host_test_sources})
  target_link_libraries(host_tests PRIVATE gauge_host GTest::gtest GTest::gtest_main)
  target_compile_definitions(host_tests PRIVATE
    GAUGE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(host_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "GAUGE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endif()

# Fuzz targets (clang's libFuzzer) live in their own folder with their own rules.
if(EXISTS "${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt")
  add_subdirectory(tests/fuzz)
endif()
