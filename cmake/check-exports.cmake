# Checks that a Windows DLL is a 32-bit PE file exporting exactly the given
# undecorated names. Run as a script:
#   cmake -DOBJDUMP=<objdump> -DDLL=<file> "-DEXPORTS=A;B" -P check-exports.cmake
foreach(var OBJDUMP DLL EXPORTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-exports: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${DLL}")
  message(FATAL_ERROR "check-exports: ${DLL} does not exist")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check-exports: ${OBJDUMP} failed: ${err}")
endif()

if(NOT dump MATCHES "file format pei-i386")
  message(FATAL_ERROR "check-exports: ${DLL} is not a 32-bit PE file")
endif()

# The names follow the line "[Ordinal/Name Pointer] Table" as "[   n] Name".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
set(found)
if(NOT start EQUAL -1)
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(REPLACE "\n" ";" lines "${table}")
  list(REMOVE_AT lines 0)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*\\[[ 0-9]+\\][ \t]+([^ \t]+)")
      list(APPEND found "${CMAKE_MATCH_1}")
    elseif(NOT line MATCHES "^[ \t]*$")
      break()
    endif()
  endforeach()
endif()

list(SORT found)
set(expected ${EXPORTS})
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "check-exports: ${DLL} exports [${found}], expected exactly [${expected}]")
endif()
message(STATUS "${DLL}: 32-bit PE exporting ${found}")
