# Checks a binary of the Windows build: a PE file of the expected format
# (FORMAT, as objdump names it; default pei-i386, the 32-bit product) that
# needs none of the MinGW runtime DLLs and, when EXPORTS is given, exports
# exactly those undecorated names. Run as a script:
#   cmake -DOBJDUMP=<objdump> -DDLL=<file> [-DFORMAT=pei-x86-64] [-DEXPORTS=A,B]
#         -P check-windows-binary.cmake
cmake_policy(VERSION 3.20)
foreach(var OBJDUMP DLL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-windows-binary: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${DLL}")
  message(FATAL_ERROR "check-windows-binary: ${DLL} does not exist")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check-windows-binary: ${OBJDUMP} failed: ${err}")
endif()

if(NOT DEFINED FORMAT)
  set(FORMAT pei-i386)
endif()
if(FORMAT STREQUAL "pei-i386")
  set(kind "32-bit PE")
else()
  set(kind "64-bit PE")
endif()
if(NOT dump MATCHES "file format ${FORMAT}")
  message(FATAL_ERROR "check-windows-binary: ${DLL} is not a ${kind} file (${FORMAT})")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" import)
  if(import MATCHES "libgcc|libstdc|libwinpthread")
    message(FATAL_ERROR "check-windows-binary: ${DLL} needs a MinGW runtime DLL (${import})")
  endif()
endforeach()
if(NOT DEFINED EXPORTS)
  message(STATUS "${DLL}: ${kind}, no MinGW runtime DLL needed")
  return()
endif()

# The names follow the line "[Ordinal/Name Pointer] Table" as "[   n] Name",
# up to the next empty line.
set(found)
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(NOT start EQUAL -1)
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(FIND "${table}" "\n\n" stop)
  if(NOT stop EQUAL -1)
    string(SUBSTRING "${table}" 0 ${stop} table)
  endif()
  string(REGEX MATCHALL "\\[[ 0-9]+\\][ \t]+[^ \t\r\n]+" rows "${table}")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\\[[ 0-9]+\\][ \t]+" "" name "${row}")
    list(APPEND found "${name}")
  endforeach()
endif()

list(SORT found)
string(REPLACE "," ";" expected "${EXPORTS}")
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "check-windows-binary: ${DLL} exports [${found}], expected exactly [${expected}]")
endif()
message(STATUS "${DLL}: ${kind}, no MinGW runtime DLL needed, exporting ${found}")
