# cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=x.y.z -P write_build_info.cmake
# Writes OUTPUT_DIR/vk_build_info.h (VK_VERSION, its three numbers, VK_COMMIT,
# VK_PRODUCT_VERSION for the version resource)
# and OUTPUT_DIR/source_date_epoch, each only when its content changes.
#
# The commit is `git describe` of SOURCE_DIR when SOURCE_DIR is the top of a
# clone ("unknown" otherwise: a source folder unpacked inside another clone
# must not take that clone's name). The date is SOURCE_DATE_EPOCH when the
# environment sets it, else the commit's time, else empty (the linker then
# stamps the time of the link).
set(commit "unknown")
set(epoch "")
find_program(GIT git)
if(GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --show-toplevel
    OUTPUT_VARIABLE top RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(status EQUAL 0)
    get_filename_component(top "${top}" REALPATH)
    get_filename_component(source "${SOURCE_DIR}" REALPATH)
  endif()
  if(status EQUAL 0 AND top STREQUAL source)
    # A fixed abbreviation, so that two clones of one commit give one name.
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} describe --always --dirty --abbrev=12
      OUTPUT_VARIABLE described RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(status EQUAL 0 AND described MATCHES "^[A-Za-z0-9._+-]+$")
      set(commit "${described}")
    endif()
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE committed RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(status EQUAL 0 AND committed MATCHES "^[0-9]+$")
      set(epoch "${committed}")
    endif()
  endif()
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a number of seconds: '$ENV{SOURCE_DATE_EPOCH}'")
  endif()
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
endif()

if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "the project's version must be major.minor.patch: '${VERSION}'")
endif()
set(header "// Written at each build by cmake/write_build_info.cmake: do not edit.
// Plain defines, so that the resource compiler reads it too.
#ifndef VK_BUILD_INFO_H
#define VK_BUILD_INFO_H
#define VK_VERSION \"${VERSION}\"
#define VK_VERSION_MAJOR ${CMAKE_MATCH_1}
#define VK_VERSION_MINOR ${CMAKE_MATCH_2}
#define VK_VERSION_PATCH ${CMAKE_MATCH_3}
#define VK_COMMIT \"${commit}\"
#define VK_PRODUCT_VERSION \"${VERSION} (${commit})\"
// Unused by the code: a new date relinks what includes this (the linker stamps it).
#define VK_SOURCE_DATE_EPOCH \"${epoch}\"
#endif
")

function(write_if_changed path content)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${content}")
endfunction()

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
write_if_changed("${OUTPUT_DIR}/vk_build_info.h" "${header}")
write_if_changed("${OUTPUT_DIR}/source_date_epoch" "${epoch}\n")
