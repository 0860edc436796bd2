# What the release packages take from a build, and how they are made (tools/package).
#
# Linux: `cmake --install` puts klovin-extract, its manual page and the licence under the
# prefix, and CPack turns the same files into the Debian package. Windows: nothing is
# installed; tools/package zips the programs and wraps them in the NSIS installer.
#
# Every build writes packaging.env into its binary folder: the version (from project(),
# the one place it is set) and the paths of what is packaged, for the shell scripts.

set(TOVK_PACKAGE_NAME klovin-extract)
set(TOVK_PACKAGE_MAINTAINER "Klovinware <packages@klovinware.example>")
set(TOVK_PACKAGE_SUMMARY "extract the attachments of Outlook Express and Windows Mail stores")

if(WIN32)
    if(NOT TARGET KlovinAttachmentExtractor OR NOT TARGET klovin-extract)
        return()
    endif()
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        set(windows_edition win64)
    else()
        set(windows_edition win32)
    endif()
    # The installer shows the program's own icon, drawn by the build for its resources.
    get_target_property(app_binary_dir KlovinAttachmentExtractor BINARY_DIR)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/packaging.env CONTENT
"TOVK_VERSION=${PROJECT_VERSION}
TOVK_EDITION=${windows_edition}
TOVK_APP=$<TARGET_FILE:KlovinAttachmentExtractor>
TOVK_CLI=$<TARGET_FILE:klovin-extract>
TOVK_ICON=${app_binary_dir}/KlovinAttachmentExtractor_resources/klovin32.ico
TOVK_STRIP=${CMAKE_STRIP}
")
    return()
endif()

if(NOT TARGET klovin-extract)
    return()
endif()
include(GNUInstallDirs)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The manual page is made from the built program's --help, so that it can never describe
# options the program does not have. It is made by every build (ALL): `cmake --install`
# copies files and would fail on a page that was never made.
set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_page ${man_dir}/klovin-extract.1)
add_custom_command(
    OUTPUT ${man_page} ${man_page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make-manpage
            $<TARGET_FILE:klovin-extract> ${man_page}
    # Debian's manual pages are compressed; -n keeps the file's name and time out of it,
    # so the same page makes the same package.
    COMMAND gzip -9 -n -k -f ${man_page}
    DEPENDS klovin-extract ${CMAKE_SOURCE_DIR}/tools/make-manpage
    COMMENT "Writing the manual page klovin-extract(1) from klovin-extract --help"
    VERBATIM)
add_custom_target(klovin-extract-manpage ALL DEPENDS ${man_page}.gz)

install(TARGETS klovin-extract RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TOVK_PACKAGE_NAME} RENAME copyright)

execute_process(COMMAND dpkg --print-architecture
                OUTPUT_VARIABLE deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT deb_arch)
    set(deb_arch amd64)
endif()
set(deb_file ${TOVK_PACKAGE_NAME}_${PROJECT_VERSION}_${deb_arch}.deb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TOVK_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Klovinware)
set(CPACK_PACKAGE_CONTACT ${TOVK_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${TOVK_PACKAGE_SUMMARY})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME ${deb_file})
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TOVK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TOVK_HOMEPAGE})
# The package depends on exactly the shared libraries the binary links (the C and C++
# runtimes), at the versions dpkg-shlibdeps reads from their symbols.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "klovin-extract reads Outlook Express mailbox files (.dbx) and Windows Mail
message files (.eml), decodes every part of every message that carries a file
name, and writes each attachment into one folder. It never overwrites a file.
Optionally it cuts the saved attachments out of the stored messages, after
copying the mailboxes to a backup folder. It is the command line of the
Windows desktop program ${TOVK_DISPLAY_NAME}.")
include(CPack)

file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/packaging.env CONTENT
"TOVK_VERSION=${PROJECT_VERSION}
TOVK_EDITION=linux
TOVK_CLI=$<TARGET_FILE:klovin-extract>
TOVK_DEB=${CPACK_PACKAGE_DIRECTORY}/${deb_file}
")
