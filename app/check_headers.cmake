# Reads PROGRAM's PE header with OBJDUMP and fails unless it has:
# - address space layout randomisation (DYNAMIC_BASE, with the relocations it
#   needs), high-entropy addresses in a 64-bit image, DEP (NX_COMPAT) and the
#   Terminal-Server mark;
# - a load configuration whose DependentLoadFlags is
#   LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800), its size as the header gives it;
# - static imports among kernel32, advapi32 and msvcrt: KnownDLLs whose own
#   imports, under Wine too, are System32's (Wine's user32 and setupapi import
#   version.dll, which the loader would look for beside the program).
foreach(var OBJDUMP PROGRAM)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE header RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()

set(problems "")
if(header MATCHES "Magic[ \t]+020b")
  set(wide TRUE)
  set(flags_offset 78)
else()
  set(wide FALSE)
  set(flags_offset 54)
endif()

set(marks DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE)
if(wide)
  list(APPEND marks HIGH_ENTROPY_VA)
endif()
string(REGEX MATCH "DllCharacteristics[^\n]*\n(\t+[A-Z_]+\n)*" characteristics "${header}")
foreach(mark IN LISTS marks)
  if(NOT characteristics MATCHES "\t${mark}\n")
    string(APPEND problems "no ${mark} in DllCharacteristics\n")
  endif()
endforeach()
# An image that asks to be moved needs its relocations.
if(NOT header MATCHES "Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation Directory")
  string(APPEND problems "no base relocations: the image cannot be moved\n")
endif()

# The load configuration: where it is, then its bytes.
if(NOT header MATCHES "ImageBase[ \t]+([0-9a-fA-F]+)")
  message(FATAL_ERROR "no ImageBase in the header")
endif()
set(image_base "0x${CMAKE_MATCH_1}")
set(size 0)
if(header MATCHES "Entry a ([0-9a-f]+) ([0-9a-f]+) Load Configuration Directory")
  math(EXPR start "${image_base} + 0x${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR size "0x${CMAKE_MATCH_2}")
endif()
if(size GREATER 0)
  math(EXPR stop "${start} + ${size}" OUTPUT_FORMAT HEXADECIMAL)
  execute_process(COMMAND ${OBJDUMP} -s --start-address=${start} --stop-address=${stop} ${PROGRAM}
                  OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  # Each line: address, up to four groups of up to four bytes, the text.
  set(bytes "")
  string(REGEX MATCHALL "\n [0-9a-f]+ [^\n]*" lines "${dump}")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n [0-9a-f]+ " "" line "${line}")
    # Four groups of eight digits and their three spaces; the text follows.
    string(SUBSTRING "${line}" 0 35 line)
    string(REGEX REPLACE "[^0-9a-f]" "" line "${line}")
    string(APPEND bytes "${line}")
  endforeach()
  string(LENGTH "${bytes}" length)
  math(EXPR digits "${size} * 2")
  if(NOT result EQUAL 0 OR NOT length EQUAL digits)
    string(APPEND problems "the load configuration (${size} bytes at ${start}) could not be read\n")
  else()
    # Little-endian fields: Size (4 bytes at 0), DependentLoadFlags (2 bytes).
    string(SUBSTRING "${bytes}" 0 8 field)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" field "${field}")
    math(EXPR declared "0x${field}")
    if(NOT declared EQUAL size)
      string(APPEND problems "the load configuration says ${declared} bytes, the header ${size}\n")
    endif()
    math(EXPR at "${flags_offset} * 2")
    string(SUBSTRING "${bytes}" ${at} 4 field)
    string(REGEX REPLACE "(..)(..)" "\\2\\1" field "${field}")
    if(NOT field STREQUAL "0800")
      string(APPEND problems "DependentLoadFlags is 0x${field}, not LOAD_LIBRARY_SEARCH_SYSTEM32 (0x0800)\n")
    endif()
  endif()
else()
  string(APPEND problems "no load configuration\n")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${header}")
if(NOT imports)
  string(APPEND problems "no imports read\n")
endif()
foreach(import IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" name "${import}")
  string(TOLOWER "${name}" name)
  if(NOT name MATCHES "^(kernel32|advapi32|msvcrt)\\.dll$")
    string(APPEND problems "imports ${name}\n")
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "${PROGRAM}:\n${problems}")
endif()
message(STATUS "${PROGRAM}: ASLR, DEP, Terminal-Server-aware, DependentLoadFlags 0x0800, imports ${imports}")
