# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
#
#   cmake --preset windows      (CMakePresets.json: build-windows/, -DFORGEWAY_HOST_ONLY=ON)
#
# The executables are linked statically (libgcc, libstdc++, winpthread), so they
# run on Windows or under Wine without any MinGW DLL beside them; the build
# against Qt (mingw-w64-x86_64-qt.cmake) links them as DLLs instead.  When Wine
# is installed, CTest runs the tests through it.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FORGEWAY_MINGW_PREFIX x86_64-w64-mingw32)

# The posix flavour of the compiler brings std::thread and friends.
find_program(CMAKE_C_COMPILER NAMES ${FORGEWAY_MINGW_PREFIX}-gcc-posix ${FORGEWAY_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${FORGEWAY_MINGW_PREFIX}-g++-posix ${FORGEWAY_MINGW_PREFIX}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${FORGEWAY_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FORGEWAY_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT FORGEWAY_MINGW_SHARED_RUNTIME)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()

# Debian's wine64 package installs its loader outside PATH.
find_program(FORGEWAY_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(FORGEWAY_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${FORGEWAY_WINE})
endif()
