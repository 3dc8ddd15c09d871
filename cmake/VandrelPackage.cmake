# What `cmake --install` puts where (under CMAKE_INSTALL_PREFIX, with DESTDIR) and the Debian package of the same
# files (`make deb`). Another helper program joins the install with its target name in VANDREL_HELPER_PROGRAMS.
set(VANDREL_HELPER_PROGRAMS vandrel-helper vandrel-eval)

set(resources ${CMAKE_SOURCE_DIR}/resources)
install(TARGETS vandrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${VANDREL_HELPER_PROGRAMS} RUNTIME DESTINATION ${VANDREL_INSTALL_HELPERSDIR})
install(DIRECTORY ${resources}/texts DESTINATION ${VANDREL_INSTALL_RESOURCESDIR} FILES_MATCHING PATTERN "*.json")
install(DIRECTORY ${resources}/images DESTINATION ${VANDREL_INSTALL_RESOURCESDIR} FILES_MATCHING PATTERN "*.png")
install(FILES ${resources}/manual.html ${resources}/tutorial.html DESTINATION ${VANDREL_INSTALL_RESOURCESDIR})
install(FILES ${resources}/linux/input-permission.txt DESTINATION ${VANDREL_INSTALL_RESOURCESDIR}/linux)
install(FILES ${resources}/linux/vandrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${resources}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${resources}/linux/70-vandrel-input.rules DESTINATION ${VANDREL_INSTALL_UDEVRULESDIR})
install(FILES ${resources}/linux/modules-load.conf DESTINATION ${VANDREL_INSTALL_MODULESLOADDIR}
        RENAME vandrel.conf)

# The package's documents: the copyright file, the change log and the manual page, compressed as Debian wants
# them.
set(VANDREL_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/vandrel)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
                   COMMAND gzip -9nc ${resources}/debian/changelog > ${CMAKE_BINARY_DIR}/doc/changelog.gz
                   DEPENDS ${resources}/debian/changelog VERBATIM)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/vandrel.1.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
                   COMMAND gzip -9nc ${resources}/linux/vandrel.1 > ${CMAKE_BINARY_DIR}/doc/vandrel.1.gz
                   DEPENDS ${resources}/linux/vandrel.1 VERBATIM)
add_custom_target(vandrel_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz ${CMAKE_BINARY_DIR}/doc/vandrel.1.gz)
install(FILES ${resources}/debian/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION ${VANDREL_INSTALL_DOCDIR})
install(FILES ${CMAKE_BINARY_DIR}/doc/vandrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${resources}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME vandrel)

# The Debian package: vandrel_<version>+<build>_<arch>.deb (cmake/VandrelVersion.cmake), installed under /usr, its
# dependencies read from the binaries' shared libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vandrel)
set(CPACK_PACKAGE_VERSION ${VANDREL_PACKAGE_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The Maintainer field; -DCPACK_PACKAGE_CONTACT="Name <address>" gives the real one.
if(NOT CPACK_PACKAGE_CONTACT)
  set(CPACK_PACKAGE_CONTACT "Vandrel developers <vandrel-developers@example.org>")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Caps Lock as a command key")
# The long description (the summary above is its first line); CPack indents it and marks the blank line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Hold Caps Lock and press another key to move the cursor, select, edit, bind a
window to a digit and bring it back, use two extra clipboards with history,
expand hotstrings and see a cheat sheet of the bindings. A tap of Caps Lock
is Escape.

The package's udev rule gives the user at the local seat access to the
keyboards and to /dev/uinput, which Vandrel makes its virtual keyboard with:
every program of that user may then read the keyboards (every key typed) and
create input devices (type as a keyboard).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(maintainer_scripts)
foreach(script postinst prerm postrm)
  configure_file(${resources}/debian/${script}.in ${CMAKE_BINARY_DIR}/debian/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                  WORLD_EXECUTE)
  list(APPEND maintainer_scripts ${CMAKE_BINARY_DIR}/debian/${script})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${maintainer_scripts})
include(CPack)
