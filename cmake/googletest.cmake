# GoogleTest built from the sources of Debian's googletest package, for the
# host and for the MinGW-w64 cross builds alike.
set(VK_GOOGLETEST_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${VK_GOOGLETEST_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${VK_GOOGLETEST_DIR} (apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
# GoogleTest's own sources are not held to our warning flags.
add_subdirectory("${VK_GOOGLETEST_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
foreach(_t gtest gtest_main)
  if(TARGET ${_t} AND NOT MSVC)
    target_compile_options(${_t} PRIVATE -Wno-error)
  endif()
endforeach()
include(GoogleTest)
