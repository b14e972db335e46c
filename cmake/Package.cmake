# The Debian package of the program: `cpack -G DEB` in the build tree (or the target
# "package") makes decrypt_VERSION_ARCH.deb of the components "runtime" (the program, the
# shared libraries with their SONAME links, the manual page, the desktop entry, the icons,
# the document types) and "debian" (copyright and changelog). The headers, the CMake
# package and the pkg-config file ("devel") and the installer's plug-in ("setup") stay out.
# The shared libraries are the program's own: tools/make_deb.sh configures with
# CMAKE_INSTALL_PREFIX=/usr and CMAKE_INSTALL_LIBDIR=lib/<multiarch triplet>/decrypt, the
# program finds them through its RPATH ($ORIGIN/../<libdir>), and neither ldconfig nor other
# packages see them.

set(QM_DEB_MAINTAINER "decrypt developers <decrypt@example.org>")
set(QM_DEB_VERSION ${PROJECT_VERSION})
set(QM_DEB_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/decrypt)

# Debian wants the changelog compressed without a time stamp (gzip -n), like the manual page.
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
set(QM_DEB_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${QM_DEB_CHANGELOG_GZ}
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/debian/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(decrypt_deb_changelog ALL DEPENDS ${QM_DEB_CHANGELOG_GZ})
install(FILES packaging/debian/copyright ${QM_DEB_CHANGELOG_GZ} DESTINATION ${QM_DEB_DOCDIR}
  COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME decrypt)
set(CPACK_PACKAGE_VERSION ${QM_DEB_VERSION})
set(CPACK_PACKAGE_VENDOR "the decrypt developers")
set(CPACK_PACKAGE_CONTACT ${QM_DEB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "decrypts S/MIME mail with the user's own RSA key")
# The extended description (the summary above is its first line); an empty line parts
# paragraphs.
set(QM_DEB_RUNS_ON "on a terminal")
if(TARGET qtfront)
  set(QM_DEB_RUNS_ON "in a desktop window, on a terminal")
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillmar Postlantern Unsealer turns encrypted S/MIME mail (.p7m, .sig) back
into readable mail with the user's digital ID: an RSA key file and its
self-signed certificate file, which the program also makes. Each message
decrypts into a new folder beside it, holding the text and the attachments.

It runs ${QM_DEB_RUNS_ON} or from scripts (--batch, --json),
and tells what a file holds and whether the ID opens it (--inspect). Only
content encrypted with RC2 with 40-bit keys is decrypted.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QM_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# One package of the chosen components. "Unspecified" takes what an install rule without a
# component of its own adds.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL runtime debian Unspecified)
include(CPack)
