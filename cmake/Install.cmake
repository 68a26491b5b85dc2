# Installation and the Debian package.
#
# The plugin goes where Double Commander's own Linux plugins live, one folder
# per plugin holding the library, its field-name translations and the sample
# settings; the command to bin/ with its manual page; README and licence to
# the documentation folder. `make deb` packs the same tree with CPack.

# The package is named in lower case, and so is its documentation folder.
set(CMAKE_INSTALL_DOCDIR share/doc/addoscope CACHE PATH "Documentation folder (DOCDIR)")
include(GNUInstallDirs)

# Double Commander looks for plugins under lib/doublecmd/plugins whatever the
# multiarch library folder is, so this is not CMAKE_INSTALL_LIBDIR.
set(ADDOSCOPE_INSTALL_PLUGINDIR lib/doublecmd/plugins/wdx/addoscope CACHE PATH
    "Folder of the installed plugin, relative to the installation prefix")

# The installed command finds the installed plugin from its own folder, so
# the whole tree can be moved to another prefix.
file(RELATIVE_PATH plugin_from_bin /${CMAKE_INSTALL_BINDIR} /${ADDOSCOPE_INSTALL_PLUGINDIR})
target_compile_definitions(addoscope PRIVATE ADDOSCOPE_PLUGIN_FROM_BIN="${plugin_from_bin}")

# The translations beside the plugin in the build tree too, where a file
# manager pointed at the built library finds them.
set(plugin_lng ${CMAKE_SOURCE_DIR}/dist/Addoscope.lng)
configure_file(${plugin_lng} ${ADDOSCOPE_BIN_DIR}/Addoscope.lng COPYONLY)

# A host loads the library; it needs no executable bit (nor has one in
# Double Commander's own package).
install(TARGETS Addoscope
    LIBRARY DESTINATION ${ADDOSCOPE_INSTALL_PLUGINDIR}
    RUNTIME DESTINATION ${ADDOSCOPE_INSTALL_PLUGINDIR}
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${plugin_lng} ${CMAKE_SOURCE_DIR}/dist/Addoscope.ini.sample
    DESTINATION ${ADDOSCOPE_INSTALL_PLUGINDIR})
install(TARGETS addoscope RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The licence as the Debian copyright file, which carries it verbatim.
set(package_doc ${CMAKE_BINARY_DIR}/package-doc)
# Its licence paragraph is the text after the title and copyright line,
# indented, with "." for each empty line.
set(ADDOSCOPE_MAINTAINER "Addoscope developers <addoscope@example.org>" CACHE STRING
    "Maintainer named in the Debian package and its changelog")
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence_text)
string(FIND "${licence_text}" "Permission" licence_start)
string(SUBSTRING "${licence_text}" ${licence_start} -1 licence_body)
string(REGEX REPLACE "\n+$" "" licence_body "${licence_body}")
string(REPLACE "\n\n" "\n.\n" licence_body "${licence_body}")
string(REPLACE "\n" "\n " licence_body "${licence_body}")
configure_file(${CMAKE_SOURCE_DIR}/dist/debian/copyright.in ${package_doc}/copyright @ONLY)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${package_doc}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual page is written from --help and --version, so it cannot say
# anything the command does not; a cross-build cannot run the command.
if(NOT CMAKE_CROSSCOMPILING)
    find_program(HELP2MAN help2man REQUIRED)
    find_program(GZIP gzip REQUIRED)
    set(man_page ${package_doc}/addoscope.1)
    add_custom_command(
        OUTPUT ${man_page}.gz
        COMMAND ${HELP2MAN} --no-info --section=1 --source=Addoscope
                "--name=show what the Addoscope file manager plugin reports for browser add-ons"
                --output=${man_page} $<TARGET_FILE:addoscope>
        # help2man knows only some headings as sections of their own; the
        # help text's other "Heading:" paragraphs become sections too.
        COMMAND sed -i "s/^\\.SS \"\\(.*\\):\"$/.SH \"\\U\\1\"/" ${man_page}
        COMMAND ${GZIP} -9nf ${man_page}
        DEPENDS addoscope
        VERBATIM
        COMMENT "Writing the manual page")
    add_custom_target(man_page ALL DEPENDS ${man_page}.gz)
    install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

    # Debian wants a changelog in every package; one without a Debian
    # revision in its version (a native one) keeps it as changelog.gz.
    string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
    configure_file(${CMAKE_SOURCE_DIR}/dist/debian/changelog.in ${package_doc}/changelog @ONLY)
    add_custom_command(
        OUTPUT ${package_doc}/changelog.gz
        COMMAND ${GZIP} -9nkf ${package_doc}/changelog
        DEPENDS ${package_doc}/changelog)
    add_custom_target(changelog ALL DEPENDS ${package_doc}/changelog.gz)
    install(FILES ${package_doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME addoscope)
set(CPACK_PACKAGE_VENDOR "the Addoscope developers")
set(CPACK_PACKAGE_CONTACT "${ADDOSCOPE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file manager plugin showing fields of browser add-on packages")
set(CPACK_PACKAGE_DESCRIPTION [=[
Addoscope is a content plugin (WDX) for Double Commander and Total Commander.
It shows what is inside browser add-on packages - Firefox, Thunderbird and
SeaMonkey .xpi files and Chrome .crx/.crx3 files - in the file manager's
columns, tooltips and search filters: name, version, ID, author, description,
home page, update address, add-on type, target platforms and compatible
applications. Field names are translated into eleven languages.
.
The package also holds the command addoscope, which loads the plugin as a
file manager does and prints what it reports, as text, aligned columns or
JSON lines.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "doublecmd-gtk | doublecmd-qt")
include(CPack)
