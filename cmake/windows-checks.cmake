# Tests of the Windows build's binaries themselves (MinGW cross build only).
find_program(VRN_OBJDUMP NAMES ${CMAKE_OBJDUMP} i686-w64-mingw32-objdump objdump)

function(vrn_check_exports target)
  add_test(NAME exports_${target}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VRN_OBJDUMP} -DDLL=$<TARGET_FILE:${target}>
                   "-DEXPORTS=${ARGN}" -P ${CMAKE_SOURCE_DIR}/cmake/check-exports.cmake)
  set_tests_properties(exports_${target} PROPERTIES TIMEOUT 60)
endfunction()

vrn_check_exports(vrndll FileRecover SetBreakFlag GetDllVersion)
vrn_check_exports(tlvcmn Initialize GetFullName GetHomeURL GetString ReadProfileString)
