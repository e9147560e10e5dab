# The system libraries the program links, found once for every folder:
#   libxcb       the window watch, the relay's request for an untrusted
#                cookie (SECURITY), and the benchmarks' X clients
#   libXau       this user's cookie, read as every X client reads it
#   fontconfig   start-up warms its cache while the form is built
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
pkg_check_modules(XAU REQUIRED IMPORTED_TARGET xau)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)

# Where the relay program is installed, and where dovrel looks for it from
# its own folder.
include(GNUInstallDirs)
set(DOVREL_RELAY_INSTALL_DIR ${CMAKE_INSTALL_LIBEXECDIR}/dovrel)
file(RELATIVE_PATH DOVREL_RELAY_FROM_BINDIR /${CMAKE_INSTALL_BINDIR} /${DOVREL_RELAY_INSTALL_DIR})
