# The release: one zip a Windows user unpacks anywhere and runs from.
# Included at the end of cmake/windows.cmake (the Windows build only).
#
#   StandbyAltimeter-<version>-win64/altimeter.exe    the gauge, self-contained
#   StandbyAltimeter-<version>-win64/simserver.exe    the stand-in simulator server
#   StandbyAltimeter-<version>-win64/USER_GUIDE.txt   docs/USER_GUIDE.md
#   StandbyAltimeter-<version>-win64/LICENSE.txt      LICENSE
#
# Made by CPack's ZIP generator from the install rules below:
#   cmake --build --preset windows --target package
# writes build/windows/release/StandbyAltimeter-<version>-win64.zip.
# The exes are stripped in the zip; both are linked statically (see
# windows.cmake), so no runtime DLL goes beside them. The two texts get
# CR LF line ends for the editors of older Windows.
# Tests: e2e.test_release_zip (unpacks the zip and runs what is in it) and
# simserver_imports_system_dlls_only.

install(TARGETS altimeter simserver RUNTIME DESTINATION .)

set(release_text_dir "${CMAKE_BINARY_DIR}/release-text")
configure_file("${CMAKE_SOURCE_DIR}/docs/USER_GUIDE.md" "${release_text_dir}/USER_GUIDE.txt"
               @ONLY NEWLINE_STYLE WIN32)
configure_file("${CMAKE_SOURCE_DIR}/LICENSE" "${release_text_dir}/LICENSE.txt"
               @ONLY NEWLINE_STYLE WIN32)
install(FILES "${release_text_dir}/USER_GUIDE.txt" "${release_text_dir}/LICENSE.txt"
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME "StandbyAltimeter")
set(CPACK_PACKAGE_VENDOR "the standby altimeter authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Standby altimeter with airspeed tape for home cockpits")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "StandbyAltimeter-${PROJECT_VERSION}-win64")
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/release")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
# No checksum file beside the zip, no source package.
set(CPACK_SOURCE_GENERATOR "")
# Named before include(CPack), which leaves the source package's name in
# CPACK_PACKAGE_FILE_NAME.
set(GAUGE_RELEASE_ZIP "${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_PACKAGE_FILE_NAME}.zip")
include(CPack)

if(BUILD_TESTING)
  # The stand-in server ships too, so it must need no DLL beyond Windows' own.
  add_test(NAME simserver_imports_system_dlls_only
           COMMAND "${CMAKE_SOURCE_DIR}/scripts/check-imports.sh"
                   "${CMAKE_OBJDUMP}" $<TARGET_FILE:simserver>)
  if(TEST e2e.test_release_zip)
    set_property(TEST e2e.test_release_zip APPEND PROPERTY ENVIRONMENT
      "GAUGE_RELEASE_ZIP=${GAUGE_RELEASE_ZIP}" "GAUGE_OBJDUMP=${CMAKE_OBJDUMP}")
  endif()
endif()
