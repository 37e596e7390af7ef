# The program's identity from one place: the project's version, and the
# commit it is built from. The commit (and the commit's time, which a
# reproducible build stamps into the executable's header) is read at every
# build rather than at configure time, so that a build never carries the
# name of an older commit; the header is rewritten only when it changes, so
# that an unchanged commit rebuilds nothing.
set(VK_BUILD_INFO_DIR "${CMAKE_BINARY_DIR}/build_info")
set(VK_BUILD_INFO_HEADER "${VK_BUILD_INFO_DIR}/vk_build_info.h")
set(VK_SOURCE_DATE_EPOCH_FILE "${VK_BUILD_INFO_DIR}/source_date_epoch")

add_custom_target(vk_build_info_update
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${VK_BUILD_INFO_DIR}
          -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/write_build_info.cmake
  BYPRODUCTS ${VK_BUILD_INFO_HEADER} ${VK_SOURCE_DATE_EPOCH_FILE}
  VERBATIM)

# Linked by whatever includes vk_build_info.h (VK_VERSION, VK_COMMIT).
add_library(vk_build_info INTERFACE)
target_include_directories(vk_build_info INTERFACE ${VK_BUILD_INFO_DIR})
add_dependencies(vk_build_info vk_build_info_update)
