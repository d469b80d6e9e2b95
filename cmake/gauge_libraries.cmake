# Libraries and embedded data of gauge_core, included by the top-level
# CMakeLists right after gauge_core is made.
#   libpng + zlib  host: the system's (find_package(PNG));
#                  Windows: both static, see cmake/libpng_mingw.cmake.
#   artwork        the eight PNGs of assets/ compiled in as byte arrays by
#                  cmake/embed_artwork.cmake (a .cpp in the build tree).
#   exe identity   the resource script's folder for windres, and a test
#                  that the icon, manifest and version are in the exe.
# Defines for tools and tests: target gauge_png, GAUGE_ARTWORK_SOURCES
# (sources that make the artwork table without the rest of gauge_core).

if(WIN32)
  include("${CMAKE_CURRENT_LIST_DIR}/libpng_mingw.cmake")
else()
  find_package(PNG REQUIRED)
  add_library(gauge_png INTERFACE IMPORTED GLOBAL)
  set_target_properties(gauge_png PROPERTIES INTERFACE_LINK_LIBRARIES PNG::PNG)
endif()
target_link_libraries(gauge_core PRIVATE gauge_png)

# ---- the artwork, embedded -------------------------------------------------
set(GAUGE_ARTWORK_NAMES
  face.png needle.png counter_back.png off_flag_dot.png off_flag_ring.png
  digit_drum.png ten_thousands_drum.png ias_tape.png)
set(artwork_files "")
foreach(name IN LISTS GAUGE_ARTWORK_NAMES)
  list(APPEND artwork_files "${CMAKE_SOURCE_DIR}/assets/${name}")
endforeach()
set(artwork_data "${CMAKE_BINARY_DIR}/generated/artwork_data.cpp")
add_custom_command(OUTPUT "${artwork_data}"
  COMMAND "${CMAKE_COMMAND}" "-DASSET_DIR=${CMAKE_SOURCE_DIR}/assets"
          "-DNAMES=${GAUGE_ARTWORK_NAMES}" "-DOUTPUT=${artwork_data}"
          -P "${CMAKE_CURRENT_LIST_DIR}/embed_artwork.cmake"
  DEPENDS ${artwork_files} "${CMAKE_CURRENT_LIST_DIR}/embed_artwork.cmake"
  COMMENT "Embedding the gauge artwork"
  VERBATIM)
target_sources(gauge_core PRIVATE "${artwork_data}")
set(GAUGE_ARTWORK_SOURCES
  "${artwork_data}" "${CMAKE_SOURCE_DIR}/display/artwork.cpp"
  "${CMAKE_SOURCE_DIR}/display/png_decode.cpp")

# ---- the exe's icon, manifest and version ----------------------------------
if(WIN32)
  file(GLOB gauge_rc_files "${CMAKE_SOURCE_DIR}/assets/*.rc")
  set_source_files_properties(${gauge_rc_files} PROPERTIES
    INCLUDE_DIRECTORIES "${CMAKE_SOURCE_DIR}/assets"
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/assets/altimeter.ico;${CMAKE_SOURCE_DIR}/assets/altimeter.manifest")
  if(BUILD_TESTING)
    add_test(NAME exe_resources
             COMMAND /usr/bin/python3 "${CMAKE_SOURCE_DIR}/tests/resources/check_exe_resources.py"
                     $<TARGET_FILE:altimeter>)
  endif()
endif()
