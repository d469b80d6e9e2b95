# libpng and zlib for the Windows build, both linked statically.
#
# zlib: libz.a of Debian's libz-mingw-w64-dev, named by its full path so the
# linker can never pick the DLL import library libz.dll.a beside it.
# libpng: Debian's own libpng1.6 source package, fetched once with
# `apt-get source --download-only` into the build tree, checked against the
# pinned SHA-256 of its upstream tarball and built at configure time with its
# own CMake as a static library (about 25 s, once per build tree).
#
# Needs: a deb-src entry for the Debian archive (scripts/setup.sh adds one),
# apt-get, network access on the first configure of a build tree.
# Defines: the imported target gauge_png (libpng16.a, which brings libz.a).

set(GAUGE_LIBPNG_TARBALL "libpng1.6_1.6.39.orig.tar.gz")
set(GAUGE_LIBPNG_SHA256 "a00e9d2f2f664186e4202db9299397f851aea71b36a35e74910b8820e380d441")
set(GAUGE_LIBPNG_DIR "${CMAKE_BINARY_DIR}/_deps/libpng")
set(GAUGE_LIBPNG_PREFIX "${GAUGE_LIBPNG_DIR}/install")
set(GAUGE_LIBPNG_STAMP "${GAUGE_LIBPNG_PREFIX}/built-from-${GAUGE_LIBPNG_SHA256}")

find_library(GAUGE_ZLIB_STATIC NAMES libz.a REQUIRED
  DOC "zlib for mingw-w64, static (libz-mingw-w64-dev)")
find_path(GAUGE_ZLIB_INCLUDE NAMES zlib.h REQUIRED)

if(NOT EXISTS "${GAUGE_LIBPNG_STAMP}")
  set(download_dir "${GAUGE_LIBPNG_DIR}/download")
  set(tarball "${download_dir}/${GAUGE_LIBPNG_TARBALL}")
  file(MAKE_DIRECTORY "${download_dir}")
  if(NOT EXISTS "${tarball}")
    find_program(GAUGE_APT_GET apt-get REQUIRED)
    message(STATUS "libpng: apt-get source --download-only libpng1.6")
    # Only the upstream tarball is used. apt-get may still fail on the
    # Debian revision files of a half-synced mirror after fetching it, so
    # its result is judged by the tarball and the checksum below.
    execute_process(COMMAND "${GAUGE_APT_GET}" source --download-only -qq libpng1.6
      WORKING_DIRECTORY "${download_dir}"
      RESULT_VARIABLE apt_result OUTPUT_VARIABLE apt_output ERROR_VARIABLE apt_output)
    if(NOT EXISTS "${tarball}")
      message(FATAL_ERROR "libpng: apt-get source did not bring ${GAUGE_LIBPNG_TARBALL} "
        "(result ${apt_result}). Run scripts/setup.sh, which adds the deb-src entry "
        "it needs.\n${apt_output}")
    endif()
  endif()
  file(SHA256 "${tarball}" actual_sha256)
  if(NOT actual_sha256 STREQUAL GAUGE_LIBPNG_SHA256)
    file(REMOVE "${tarball}")
    message(FATAL_ERROR "libpng: ${GAUGE_LIBPNG_TARBALL} has SHA-256 ${actual_sha256}, "
      "expected ${GAUGE_LIBPNG_SHA256}; removed it.")
  endif()

  file(REMOVE_RECURSE "${GAUGE_LIBPNG_DIR}/src" "${GAUGE_LIBPNG_DIR}/build" "${GAUGE_LIBPNG_PREFIX}")
  file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${GAUGE_LIBPNG_DIR}/src")
  file(GLOB libpng_source LIST_DIRECTORIES true "${GAUGE_LIBPNG_DIR}/src/libpng-*")

  message(STATUS "libpng: building a static library for mingw-w64")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${libpng_source}" -B "${GAUGE_LIBPNG_DIR}/build"
      -G "${CMAKE_GENERATOR}"
      "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}"
      -DCMAKE_BUILD_TYPE=Release
      "-DCMAKE_INSTALL_PREFIX=${GAUGE_LIBPNG_PREFIX}"
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
      -DSKIP_INSTALL_EXECUTABLES=ON -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
      "-DZLIB_LIBRARY=${GAUGE_ZLIB_STATIC}" "-DZLIB_INCLUDE_DIR=${GAUGE_ZLIB_INCLUDE}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0)
    execute_process(
      COMMAND "${CMAKE_COMMAND}" --build "${GAUGE_LIBPNG_DIR}/build" --target install -j 2
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  endif()
  if(NOT result EQUAL 0 OR NOT EXISTS "${GAUGE_LIBPNG_PREFIX}/lib/libpng16.a")
    message(FATAL_ERROR "libpng: the mingw-w64 build failed:\n${output}")
  endif()
  file(TOUCH "${GAUGE_LIBPNG_STAMP}")
endif()

add_library(gauge_png STATIC IMPORTED GLOBAL)
set_target_properties(gauge_png PROPERTIES
  IMPORTED_LOCATION "${GAUGE_LIBPNG_PREFIX}/lib/libpng16.a"
  INTERFACE_INCLUDE_DIRECTORIES "${GAUGE_LIBPNG_PREFIX}/include;${GAUGE_ZLIB_INCLUDE}"
  INTERFACE_LINK_LIBRARIES "${GAUGE_ZLIB_STATIC}")
