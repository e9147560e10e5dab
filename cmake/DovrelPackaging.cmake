# What `cmake --install` puts where, and the Debian package CPack builds:
# dovrel_1.1-1_<arch>.deb, its dependencies read off the linked libraries.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/app/dovrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(size 16 32 48)
  install(FILES ${PROJECT_SOURCE_DIR}/ui/resources/icons/dovrel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME dovrel.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/ui/resources/icons/dovrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dovrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "dovrel developers <dovrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "start a remote X terminal over telnet")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "dovrel logs in on a remote Unix host over telnet with a user name and password\n"
    "typed into a small form, and starts xterm or kterm there with its display\n"
    "pointed back at this machine. Telnet sends the password unencrypted.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
