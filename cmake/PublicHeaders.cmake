# forgeway_public_headers(<target> <header>...)
#
# Every include in this project is written from the source root
# ("host/FileSearch.h", "forms/Unit1.h").  This makes the listed headers
# (paths relative to the calling folder) visible under that name to <target> and to
# whatever links it, and nothing else of the tree: each target gets a folder of
# its own in the build tree that holds links to its public headers only.  A
# layer can therefore include no header of a layer it does not link, and the
# Qt-free host layer sees no Qt header at all.
function(forgeway_public_headers target)
    forgeway_stage_headers(${target} PUBLIC include ${ARGN})
endfunction()

# forgeway_private_headers(<target> <header>...)
#
# The same for headers that only <target>'s own sources include: linking
# <target> does not make them visible.
function(forgeway_private_headers target)
    forgeway_stage_headers(${target} PRIVATE private-include ${ARGN})
endfunction()

function(forgeway_stage_headers target scope tree)
    set(stage "${PROJECT_BINARY_DIR}/${tree}/${target}")
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
    foreach(header IN LISTS ARGN)
        set(from "${CMAKE_CURRENT_SOURCE_DIR}/${header}")
        set(to "${stage}/${folder}/${header}")
        get_filename_component(to_dir "${to}" DIRECTORY)
        file(MAKE_DIRECTORY "${to_dir}")
        # Where links cannot be made (Windows without the right), a copy; a
        # change of the header then configures again and copies it anew.
        file(CREATE_LINK "${from}" "${to}" SYMBOLIC COPY_ON_ERROR RESULT linked)
        if(NOT linked EQUAL 0)
            set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${from}")
        endif()
    endforeach()
    target_include_directories(${target} ${scope} "$<BUILD_INTERFACE:${stage}>")
endfunction()
