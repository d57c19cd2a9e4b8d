# The Debian package of pkgtool, made by CPack from the install rules of
# tools/pkgtool (scripts/release.sh runs cpack). Its dependencies come from
# the libraries the tool links, read by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pkgtool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check and dry-run display driver packages for Windows 95, 98 and NT 4.0")
# Lines of at most 80 characters, as Debian's policy asks of a description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "pkgtool reads the SETUP.INI and sequor95.ini scripts of a driver package
the way setup.exe and Sequor.exe read them, and reports each pitfall with
file, line and its code. It runs the programs' own code on a simulated PC
and explains each step, and writes the package's CD image.")
# The project's own address, as its commits give it.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Setup team <dev@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pci.ids)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# What Debian asks of every package's documentation folder: the copyright
# file as it stands, the changelog of a native package gzipped without a
# time stamp.
set(DEBIAN_DOC share/doc/pkgtool)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/debian/changelog > ${PROJECT_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(pkgtool_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${DEBIAN_DOC})
# The JSON Schema of pkgtool --json, for the scripts that read it.
install(FILES ${PROJECT_SOURCE_DIR}/docs/pkgtool.schema.json DESTINATION ${DEBIAN_DOC})
include(CPack)
