# The Debian package (`make package`, or `cpack -G DEB` in the build folder):
# kestrane_<version>_<arch>.deb with what cmake --install installs under /usr (both programs). Its library
# dependencies are computed by dpkg-shlibdeps from the program itself (dpkg-dev, file).

# Elsewhere, where the program is not yet built or tested, an archive of what cmake --install gives.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR ZIP)
endif()
# Configured without the dialogs: kestrane-cli alone, for build servers without a display stack.
# The full package holds kestrane-cli too, and the same man page: one or the other is installed.
if(KESTRANE_BUILD_GUI)
  set(CPACK_PACKAGE_NAME kestrane)
  set(CPACK_DEBIAN_PACKAGE_PROVIDES kestrane-cli)
  set(CPACK_DEBIAN_PACKAGE_CONFLICTS kestrane-cli)
  set(CPACK_DEBIAN_PACKAGE_REPLACES kestrane-cli)
else()
  set(CPACK_PACKAGE_NAME kestrane-cli)
  set(CPACK_DEBIAN_PACKAGE_CONFLICTS kestrane)
endif()
set(CPACK_PACKAGE_VENDOR Tev)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepare network-camera firmware for customer companies")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrane wraps firmware sources into tagged files with a version and an MD5
trailer, encrypts them for one customer company (RSA-1024 sealing, the company
key in a sealed key block, an HMAC-MD5 tag), packs encrypted packages into
package files and generates company key files. It runs as a desktop program
and from the command line, also on build servers without a display;
kestrane-cli is the command line alone, without Qt Widgets and Qt Gui.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KESTRANE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dialogs' labels are partly Korean; a font that has the glyphs is no library dependency.
if(KESTRANE_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum | fonts-noto-cjk")
endif()

include(CPack)
