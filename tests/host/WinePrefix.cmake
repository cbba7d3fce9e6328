# Makes the Wine prefix that the cross-built tests run in, unless it is there
# already.  Wine's first start in a new prefix takes several seconds, so this
# happens once per build folder, not once per test.
#   cmake -DWINE=<wine loader> -DPREFIX=<folder> -P WinePrefix.cmake
if(NOT EXISTS "${PREFIX}/system.reg")
    set(ENV{WINEPREFIX} "${PREFIX}")
    execute_process(COMMAND "${WINE}" wineboot -i RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT EXISTS "${PREFIX}/system.reg")
        message(FATAL_ERROR "wineboot failed (${result}) for ${PREFIX}")
    endif()
endif()
