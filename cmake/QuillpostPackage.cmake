# The Debian package, built with CPack from an already built tree (scripts/package). It holds the
# files of a plain install under /usr (component "Unspecified"), the programs in /opt/quillpost and
# the Debian documents (component "deb").
set(QP_DEB_DIR ${PROJECT_SOURCE_DIR}/res/deb)

# Debian documents: compressed reproducibly (no name, no time stamp), as Debian policy asks.
configure_file(${QP_DEB_DIR}/changelog.in ${PROJECT_BINARY_DIR}/deb/source/changelog @ONLY)
qp_gzip(${PROJECT_BINARY_DIR}/deb/source/changelog deb changelog_archive)
add_custom_target(qp_deb_documents ALL DEPENDS ${changelog_archive})
install(FILES ${changelog_archive} ${QP_DEB_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillpost COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${QP_DEB_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quillpost COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillpost)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tamarind Works")
set(CPACK_PACKAGE_CONTACT "Tamarind Works <quillpost@tamarindworks.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop print-to-fax client")
# The summary is the first line; CPack indents the rest and marks the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillpost sends printed documents as faxes. Print any document to the
printer Quill Post; the client, living as an icon in the notification area,
opens its send dialog, converts the job into a fax image with Ghostscript
and uploads it to your fax message box on the fax server.

The package creates the CUPS queue Quill_Post when it is installed.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Conversion, the scheduler and its filters; the maintainer scripts use lpstat and lpadmin.
# What the program loads at run time, which no library scan finds: QtKeychain loads libsecret to
# reach the desktop's keyring, and Qt loads the SVG icon engine (libqt6svg6) for the program's only
# icon, which is blank without it. The package test checks every library the client loads.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "ghostscript, cups-daemon, cups-filters, cups-client, libqt6keychain1, libsecret-1-0, \
libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${QP_DEB_DIR}/conffiles ${QP_DEB_DIR}/preinst ${QP_DEB_DIR}/postinst ${QP_DEB_DIR}/prerm
    ${QP_DEB_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};Quillpost;Unspecified;/"
    "${PROJECT_BINARY_DIR};Quillpost;deb;/")
include(CPack)
