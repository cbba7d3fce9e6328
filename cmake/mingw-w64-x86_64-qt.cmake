# Cross build of the whole program for 64-bit Windows with Debian's mingw-w64,
# against the Qt for Windows that tools/build-qt-windows.sh builds:
#
#   cmake --preset windows-qt   (CMakePresets.json: build-windows-qt/)
#
# The Qt prefix is FORGEWAY_QT_WINDOWS: a CMake variable, else the variable
# of the environment, else $HOME/.cache/forgeway/qt-6.4.2-mingw64 (where that
# script puts it).  Programs link the MinGW runtime as DLLs, as Qt's own DLLs
# do, so that one C++ runtime serves both; the build copies those DLLs and
# Qt's beside the programs.
if(NOT FORGEWAY_QT_WINDOWS)
    if(DEFINED ENV{FORGEWAY_QT_WINDOWS} AND NOT "$ENV{FORGEWAY_QT_WINDOWS}" STREQUAL "")
        set(FORGEWAY_QT_WINDOWS "$ENV{FORGEWAY_QT_WINDOWS}")
    else()
        set(FORGEWAY_QT_WINDOWS "$ENV{HOME}/.cache/forgeway/qt-6.4.2-mingw64")
    endif()
endif()
if(NOT EXISTS "${FORGEWAY_QT_WINDOWS}/lib/cmake/Qt6/qt.toolchain.cmake")
    message(FATAL_ERROR "No Qt for Windows in ${FORGEWAY_QT_WINDOWS}: build it with "
                        "'bash tools/build-qt-windows.sh', or set FORGEWAY_QT_WINDOWS.")
endif()
# try_compile projects read this file again; they must see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FORGEWAY_QT_WINDOWS)

set(FORGEWAY_MINGW_SHARED_RUNTIME ON)
set(QT_CHAINLOAD_TOOLCHAIN_FILE "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
include("${FORGEWAY_QT_WINDOWS}/lib/cmake/Qt6/qt.toolchain.cmake")
