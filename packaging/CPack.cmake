# The Debian package quorvel-notes_<version>_<arch>.deb: `cpack -G DEB` in the build tree.
# It holds what `cmake --install` installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel-notes)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorvel Notes developers")
set(CPACK_PACKAGE_CONTACT "The Quorvel Notes developers <quorvel-notes@packages.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "outline study notes on the requirement facts of civil litigation")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quorvel Notes (Quorvelノート) is a single-window outliner in which law students
keep study notes on the requirement facts (要件事実) of civil litigation.
Entries form a tree; each has a title and a body, and the depth of an entry
is its pleading stage. Two data sets come with it: requirement facts by claim
type and by article of the Civil Code. The package also holds quorvel-dat,
which checks data files and turns them into text and back.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries (Qt 6 widgets and what they need) come from dpkg-shlibdeps; the font the
# window asks for and Qt's Japanese texts are no libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tree view works on QTreeView's private row list, so the package holds only with the
# Qt it was built against (Debian's libqt6core6 provides qt6-base-abi for that).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-base-abi (= ${Qt6_VERSION})")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
