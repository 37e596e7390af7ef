# cmake -DSOURCE_DIR=<clone> -DWORK=<scratch folder> -P check_build_info.cmake
# What a build says it is (cmake/write_build_info.cmake): the commit of the
# clone it is built from, never of a clone around a folder that is not one;
# the commit's time unless SOURCE_DATE_EPOCH says otherwise; the header left
# alone when nothing changed, so that nothing rebuilds for nothing.
set(failures 0)
# expect(<what> <condition>...)
macro(expect what)
  if(${ARGN})
  else()
    message(SEND_ERROR "FAILED: ${what}")
    math(EXPR failures "${failures} + 1")
  endif()
endmacro()

# Runs the script on <source> with <env> (a list for cmake -E env); sets
# commit, epoch, header and status.
function(build_info source output)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ARGN} ${CMAKE_COMMAND} -DSOURCE_DIR=${source}
                          -DOUTPUT_DIR=${output} -DVERSION=4.5.6 -P ${SOURCE_DIR}/cmake/write_build_info.cmake
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  set(status ${status} PARENT_SCOPE)
  if(status EQUAL 0)
    file(READ ${output}/vk_build_info.h header)
    file(READ ${output}/source_date_epoch epoch)
    string(STRIP "${epoch}" epoch)
    string(REGEX MATCH "#define VK_COMMIT \"([^\"]*)\"" _ "${header}")
    set(commit "${CMAKE_MATCH_1}" PARENT_SCOPE)
    set(epoch "${epoch}" PARENT_SCOPE)
    set(header "${header}" PARENT_SCOPE)
  endif()
endfunction()

execute_process(COMMAND git -C ${SOURCE_DIR} describe --always --dirty --abbrev=12
                OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct OUTPUT_VARIABLE committed
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/plain)

build_info(${SOURCE_DIR} ${WORK}/clone --unset=SOURCE_DATE_EPOCH)
expect("the script runs on a clone" status EQUAL 0)
expect("a clone's commit is git describe's: '${commit}' against '${described}'"
       commit STREQUAL described)
expect("a clone's time is its commit's: '${epoch}' against '${committed}'" epoch STREQUAL committed)
string(FIND "${header}" "#define VK_VERSION \"4.5.6\"\n#define VK_VERSION_MAJOR 4\n#define VK_VERSION_MINOR 5\n#define VK_VERSION_PATCH 6\n" numbers)
expect("the header gives the version and its three numbers" NOT numbers EQUAL -1)
string(FIND "${header}" "#define VK_PRODUCT_VERSION \"4.5.6 (${described})\"" product)
expect("the header gives the product version with the commit" NOT product EQUAL -1)

# Unchanged, the header keeps its date (an old one, set here).
execute_process(COMMAND touch -d @1000000000 ${WORK}/clone/vk_build_info.h)
build_info(${SOURCE_DIR} ${WORK}/clone --unset=SOURCE_DATE_EPOCH)
file(TIMESTAMP ${WORK}/clone/vk_build_info.h kept "%s" UTC)
expect("an unchanged header is not written again (dated ${kept})" kept EQUAL 1000000000)

build_info(${SOURCE_DIR} ${WORK}/dated SOURCE_DATE_EPOCH=1234567890)
expect("SOURCE_DATE_EPOCH replaces the commit's time"
       epoch STREQUAL 1234567890 AND commit STREQUAL described)
build_info(${SOURCE_DIR} ${WORK}/misdated SOURCE_DATE_EPOCH=yesterday)
expect("a SOURCE_DATE_EPOCH that is not a number stops the build" NOT status EQUAL 0)

# A folder inside a clone, but not a clone itself (sources unpacked there).
build_info(${SOURCE_DIR}/cmake ${WORK}/inside --unset=SOURCE_DATE_EPOCH)
expect("a folder inside another clone is not that clone's commit: '${commit}' '${epoch}'"
       status EQUAL 0 AND commit STREQUAL unknown AND NOT epoch)
# Not in any clone: git looks no higher than the scratch folder.
build_info(${WORK}/plain ${WORK}/outside --unset=SOURCE_DATE_EPOCH GIT_CEILING_DIRECTORIES=${WORK})
expect("outside a clone: unknown, no time" status EQUAL 0 AND commit STREQUAL unknown AND NOT epoch)

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} check(s) failed")
endif()
message(STATUS "build information: ${described} at ${committed}, unknown outside a clone")
