# What `cmake --install` puts where, and the Debian package CPack builds:
# dovrel_<version>-1_<arch>.deb, its dependencies read off the linked
# libraries, with the manual page, the licence and the changelogs as Debian
# wants them (gzipped without time stamps).
include(GNUInstallDirs)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

set(_doc ${CMAKE_CURRENT_BINARY_DIR}/doc)
configure_file(${PROJECT_SOURCE_DIR}/app/dovrel.1.in ${_doc}/dovrel.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${_doc}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${_doc}/changelog.Debian @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/NEWS.md ${_doc}/changelog COPYONLY)
set(_gzipped)
foreach(file dovrel.1 changelog.Debian changelog)
  add_custom_command(OUTPUT ${_doc}/${file}.gz
    COMMAND gzip -9nkf ${_doc}/${file}
    DEPENDS ${_doc}/${file}
    COMMENT "Compressing ${file}")
  list(APPEND _gzipped ${_doc}/${file}.gz)
endforeach()
add_custom_target(dovrel_docs ALL DEPENDS ${_gzipped})

install(FILES ${_doc}/dovrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_doc}/copyright ${_doc}/changelog.Debian.gz ${_doc}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME dovrel)
foreach(size 16 32 48)
  install(FILES ${PROJECT_SOURCE_DIR}/ui/resources/icons/dovrel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME dovrel.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/ui/resources/icons/dovrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Where Debian's bash-completion loads it from when "dovrel" is completed.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dovrel.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME dovrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dovrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${DOVREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "start a remote X terminal over telnet or ssh")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "dovrel logs in on a remote Unix host over telnet or ssh with a user name and\n"
    "password typed into a small form, and starts xterm or kterm there with its\n"
    "display pointed back at this machine. Telnet sends the password unencrypted;\n"
    "ssh, the system's OpenSSH client, does not.")
# The ssh way runs the system's client, which needs the local xauth for the
# display's cookie; the libraries come from the binaries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "openssh-client, xauth")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
