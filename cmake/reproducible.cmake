# The Windows programs are what ships: two builds of one commit, in any two
# folders, must give the same bytes, so that an administrator can check a
# binary against the commit it claims (hash rules of AppLocker or WDAC).
# - Paths in the debug information and in __FILE__ are fixed names, never the
#   folders of the build: /VelkorUSBCleaner/<file> for a source file,
#   /VelkorUSBCleaner/build for the build folder (a debugger's substitute-path
#   maps them to a checkout). The build folder is often under the source
#   folder: its map is given last, and the last match wins.
# - The header's TimeDateStamp is the commit's time (SOURCE_DATE_EPOCH, which
#   GNU ld reads) rather than the time of the link.
# - Release builds carry full debug information, which the release moves to a
#   file of its own (scripts/release.sh), so that a crash dump can be read.
#   -g never changes the code GCC generates.
# Nothing here touches the header's security marks (ASLR, DEP, TS-aware).
if(WIN32 AND NOT MSVC)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/VelkorUSBCleaner
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}=/VelkorUSBCleaner/build $<$<CONFIG:Release>:-g>)
  set(CMAKE_CXX_LINKER_LAUNCHER sh ${CMAKE_CURRENT_LIST_DIR}/with_source_date_epoch.sh ${VK_SOURCE_DATE_EPOCH_FILE})
endif()
