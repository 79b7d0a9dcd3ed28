# A Debian package of the install above, for /usr:
#   cmake --build build && (cd build && cpack -G DEB)   ->   build/tapisto_<version>_amd64.deb
# It holds exactly what `cmake --install` puts under the prefix. The libraries the binaries link
# against become Depends through dpkg-shlibdeps; what the program needs only at run time is named
# here by package.

set(CPACK_PACKAGE_NAME tapisto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop-wallpaper changer with a Japanese user interface")
set(CPACK_PACKAGE_DESCRIPTION
    "Tapisto lives in the notification area and changes the desktop wallpaper at a fixed interval from groups of
pictures that you make, in order or at random, with pause, resume, back and next. A list editor builds
the groups; PNG, GIF, WebP and TIFF pictures are read through decoder plug-ins.")
set(TAPISTO_PACKAGE_MAINTAINER "Tapisto developers <packages@tapisto.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TAPISTO_PACKAGE_MAINTAINER}")
# The staging folder is only DESTDIR: the install code sees the real prefix, which the desktop
# entry names.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
# Same files as the install, without the build's debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAPISTO_WEB_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libspilocal.so is the package's own library beside the binaries (RPATH $ORIGIN).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# Loaded at run time, so no link line shows them:
# - libwmf plays no metafile without its PostScript fonts;
# - the Japanese user interface is unreadable without a Japanese font; any of them does;
# - a Wayland session without XWayland (a bare sway) has no other platform for the window;
# - without Qt's own Japanese texts its dialogs (file dialogs, Yes/No buttons) speak English.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-urw-base35, fonts-ipafont-gothic | fonts-japanese-gothic, qt6-wayland, qt6-translations-l10n")
# The browser that opens the user guide.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

include(CPack)
