# The Debian package of pkgtool, made by CPack from the install rules of
# tools/pkgtool (scripts/release.sh runs cpack). Its dependencies come from
# the libraries the tool links, read by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pkgtool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check and dry-run display driver packages for Windows 95, 98 and NT 4.0")
set(CPACK_PACKAGE_DESCRIPTION "pkgtool reads the SETUP.INI and sequor95.ini scripts of a driver package the \
way setup.exe and Sequor.exe read them, and reports each pitfall with file, line and its code. \
It also runs the programs' own code on a simulated PC.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "cardsetup maintainers <cardsetup@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pci.ids)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
