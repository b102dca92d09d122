# The Debian package of the program: `cpack -G DEB` in a build directory with the Linux backend.
set(CPACK_PACKAGE_NAME tallowmere)
set(CPACK_PACKAGE_VENDOR "Tallowmere")
set(CPACK_PACKAGE_CONTACT "Tallowmere maintainers <tallowmere@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Keeps the windows of chosen applications lined up in one row (X11 tray utility)")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tallowmere)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
# dpkg-shlibdeps names the libraries' packages (Qt 6, xcb) from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tray icon is an SVG read through Qt's plugins, and Qt's own dialogs speak Japanese through
# its translation catalogues: neither is a library that dpkg-shlibdeps can see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-translations-l10n")
# Every text the program shows is Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A tray host and a window manager are needed at run time but are the user's choice.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "openbox | xfwm4 | icewm, trayer | stalonetray")
include(CPack)
