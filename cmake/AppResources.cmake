# The desktop program's resources (icons 131 and 138, version information, manifest),
# compiled with windres into whichever target asks for them: the program and the test
# executable that checks them.
#
#   include(${CMAKE_SOURCE_DIR}/cmake/AppResources.cmake)
#   tovk_app_resources(TARGET)
#
# Call it from the directory that creates TARGET: the icons are made by a custom
# command, whose outputs only targets of the same directory can depend on.

if(WIN32)
    # The MinGW platform files already enable it; this keeps the module working with a
    # toolchain that does not.
    enable_language(RC)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()

set(TOVK_APP_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/../app/resources)
cmake_path(NORMAL_PATH TOVK_APP_RESOURCES_DIR)
set(TOVK_MAKE_ICONS ${CMAKE_CURRENT_LIST_DIR}/../tools/make-icons.py)
cmake_path(NORMAL_PATH TOVK_MAKE_ICONS)

function(tovk_app_resources target)
    if(NOT WIN32)
        return()
    endif()
    # One folder per target: two directories that each made the same output file would
    # give the build two rules for it.
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
    set(TOVK_RES_ICON32 ${out}/klovin32.ico)
    set(TOVK_RES_ICON16 ${out}/klovin16.ico)
    set(TOVK_RES_MANIFEST ${TOVK_APP_RESOURCES_DIR}/KlovinAttachmentExtractor.manifest)
    add_custom_command(
        OUTPUT ${TOVK_RES_ICON32} ${TOVK_RES_ICON16}
        COMMAND Python3::Interpreter ${TOVK_MAKE_ICONS} ${out}
        DEPENDS ${TOVK_MAKE_ICONS}
        COMMENT "Drawing the icons for ${target}"
        VERBATIM)
    set(rc ${out}/KlovinAttachmentExtractor.rc)
    configure_file(${TOVK_APP_RESOURCES_DIR}/KlovinAttachmentExtractor.rc.in ${rc} @ONLY)
    # windres reports no dependencies, so the files the script names are listed here for
    # the resource object to be rebuilt when one of them changes.
    set_source_files_properties(${rc} PROPERTIES
        OBJECT_DEPENDS "${TOVK_RES_ICON32};${TOVK_RES_ICON16};${TOVK_RES_MANIFEST}")
    target_sources(${target} PRIVATE ${rc})
endfunction()
