# Cross build of the same code as 64-bit Windows binaries with MinGW-w64;
# tests run under 64-bit Wine. The product is the 32-bit build
# (mingw-i686.cmake); this one exercises the Win32 backend and the DLL
# boundary on machines that cannot run 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model gives std::mutex; binaries link it statically.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The PE format the binary checks expect of this build.
set(VRN_WINDOWS_PE_FORMAT pei-x86-64)

# Tests run under 64-bit Wine, quietly and in a Wine prefix inside the build
# folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --wine64)
