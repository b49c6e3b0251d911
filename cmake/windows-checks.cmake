# Tests of the Windows build's binaries themselves (MinGW cross build only):
# PE files of the build's machine (32-bit for the product, 64-bit for the
# build that runs where 32-bit programs cannot) that run without the MinGW
# runtime DLLs, and libraries that export exactly the undecorated names
# hosts look up.
find_program(VRN_OBJDUMP NAMES ${CMAKE_OBJDUMP} ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump objdump)
if(NOT VRN_WINDOWS_PE_FORMAT)
  set(VRN_WINDOWS_PE_FORMAT pei-i386)
endif()

function(vrn_check_windows_binary target)
  set(exports)
  if(ARGN)
    string(REPLACE ";" "," names "${ARGN}")
    set(exports -DEXPORTS=${names})
  endif()
  add_test(NAME binary_${target}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VRN_OBJDUMP} -DDLL=$<TARGET_FILE:${target}>
                   -DFORMAT=${VRN_WINDOWS_PE_FORMAT}
                   ${exports} -P ${CMAKE_SOURCE_DIR}/cmake/check-windows-binary.cmake)
  set_tests_properties(binary_${target} PROPERTIES TIMEOUT 60)
endfunction()

vrn_check_windows_binary(vrndll FileRecover SetBreakFlag GetDllVersion FileRecoverEx)
vrn_check_windows_binary(tlvcmn Initialize GetFullName GetHomeURL GetString ReadProfileString)
vrn_check_windows_binary(vrnrecover)
