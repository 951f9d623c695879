# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, built by cpack from what `cmake --install` installs:
#   cpack --config build/ci/CPackConfig.cmake -B build/ci/package
# makes runemeter_VERSION_ARCH.deb. Its dependencies on shared libraries are found by
# dpkg-shlibdeps (package dpkg-dev) from the programs themselves.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME runemeter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "count the characters of plain-text files")
set(CPACK_PACKAGE_HOMEPAGE_URL ${RUNEMETER_HOMEPAGE})
set(RUNEMETER_MAINTAINER "Runemeter maintainers <maintainers@veltrane.example>"
    CACHE STRING "The Debian package's maintainer: name <address>")
set(CPACK_PACKAGE_CONTACT ${RUNEMETER_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Only what a user needs: the tests and the build tools install nothing.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# runemeter-dask needs Python and the Dask scheduler; the other programs run without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-distributed")
# The long description; CPack puts the summary before it and indents it for the control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Runemeter tells which characters a set of plain-text files contains and how
often each occurs. Name a file or a folder, a file mask, and whether
sub-folders and the members of zip archives are included: every file is read,
its encoding recognised, and every character counted, by UTF-16 unit, code
point or grapheme cluster.

The package holds the desktop program (runemeter), its command-line companion
(runemeter-cli), the suite's settings tool (vtsuite), the language file tool
(runemeter-lang) and runemeter-dask, which spreads a run over a Dask cluster.
The interface speaks English, German, French, Simplified Chinese, Spanish,
Russian, Japanese and Arabic.")
include(CPack)
