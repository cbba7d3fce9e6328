# On Windows the programs need Qt's DLLs beside them, the windows platform
# plugin in platforms\, Qt's native style in styles\ and, for a MinGW build,
# the MinGW runtime DLLs.  The build lays them out beside the programs, where
# the kit is used (and where a test under Wine starts them), and
# "cmake --install" installs them with the kit.  windeployqt does the same and
# more (docs/WINDOWS.md).
set(runtime_dlls Qt6::Core Qt6::Gui Qt6::Widgets)
set(runtime_plugins platforms Qt6::QWindowsIntegrationPlugin)
if(TARGET Qt6::QWindowsVistaStylePlugin)
    list(APPEND runtime_plugins styles Qt6::QWindowsVistaStylePlugin)
endif()

set(copy_commands)
set(install_files)
foreach(dll IN LISTS runtime_dlls)
    list(APPEND copy_commands COMMAND "${CMAKE_COMMAND}" -E copy_if_different
         "$<TARGET_FILE:${dll}>" "${FORGEWAY_KIT_DIR}")
    list(APPEND install_files "$<TARGET_FILE:${dll}>")
endforeach()
while(runtime_plugins)
    list(POP_FRONT runtime_plugins folder plugin)
    list(APPEND copy_commands
         COMMAND "${CMAKE_COMMAND}" -E make_directory "${FORGEWAY_KIT_DIR}/${folder}"
         COMMAND "${CMAKE_COMMAND}" -E copy_if_different "$<TARGET_FILE:${plugin}>"
                 "${FORGEWAY_KIT_DIR}/${folder}")
    install(FILES "$<TARGET_FILE:${plugin}>" DESTINATION "${FORGEWAY_KIT_INSTALL_DIR}/${folder}"
            COMPONENT kit)
endwhile()
# The offscreen platform, for the tests that start the programs headless
# (tests/smoke): in the build folder only, not in an installed kit.
if(TARGET Qt6::QOffscreenIntegrationPlugin)
    list(APPEND copy_commands COMMAND "${CMAKE_COMMAND}" -E copy_if_different
         "$<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>" "${FORGEWAY_KIT_DIR}/platforms")
endif()
# The MinGW runtime: where the Qt for Windows of tools/build-qt-windows.sh
# keeps it, beside Qt's own DLLs.
if(MINGW)
    get_target_property(qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
    if(qt_core)
        get_filename_component(qt_bin "${qt_core}" DIRECTORY)
        foreach(dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
            if(EXISTS "${qt_bin}/${dll}")
                list(APPEND copy_commands COMMAND "${CMAKE_COMMAND}" -E copy_if_different
                     "${qt_bin}/${dll}" "${FORGEWAY_KIT_DIR}")
                list(APPEND install_files "${qt_bin}/${dll}")
            else()
                message(WARNING "${dll} is not beside Qt6Core.dll: copy it beside the programs")
            endif()
        endforeach()
    endif()
endif()
add_custom_target(windows_runtime ALL ${copy_commands}
    COMMENT "Qt and its runtime beside the programs" VERBATIM)
install(FILES ${install_files} DESTINATION "${FORGEWAY_KIT_INSTALL_DIR}" COMPONENT kit)
