# The Debian package (scripts/package.sh): quorvane_<version>_amd64.deb with everything
# `cmake --install` lays out under the install root, plus the files for udev, the desktop and
# polkit in the system's folders when the build is configured with their folders.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_CONTACT "Quorvane <support@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "center and updater for Quorvane sim-racing pedal controllers")
# CPack puts the summary first; these are the lines after it.
set(CPACK_PACKAGE_DESCRIPTION "Kestrane finds the connected Quorvane USB pedal controllers (load-cell
brake, accelerator, clutch and handbrake axes and gear-shift buttons),
shows their live values, calibrates their channels and updates their
firmware through the controller's serial bootloader. It shows the maker's
messages and the user's feedback with its replies. Tollwick keeps the
programs up to date.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvane.example/")
# The libraries come from the binaries; the flashing tools and pkexec are run, not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "avrdude, bossa-cli, pkexec, udev")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# The configuration files in /etc are the package's own: an administrator's change survives upgrades.
get_property(_conffiles GLOBAL PROPERTY QUORVANE_CONFFILES)
list(JOIN _conffiles "\n" _conffiles)
file(WRITE "${PROJECT_BINARY_DIR}/debian/conffiles" "${_conffiles}\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/preinst;${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
if(_conffiles)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/debian/conffiles")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
