# `cpack -G DEB` in the build folder makes veltrix-logger_VERSION_ARCH.deb from
# the install rules (which also put the copyright file and the changelog where
# Debian expects them, Install.cmake). The architecture is dpkg's (CPack asks
# `dpkg --print-architecture`), the library Depends come from dpkg-shlibdeps
# run on the programs.
# The project, never a person. ".invalid" says plainly that no mail reaches it
# (and is no host on the local machine, which lintian refuses).
set(VELTRIX_PACKAGE_MAINTAINER "Veltrix Universal Data Logger developers <veltrix-logger@veltrix.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrix-logger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Veltrix)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Veltrix Universal Data Logger for motion sensors on an evaluation board")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads, sets and records Veltrix motion sensors (gyroscopes, accelerometers,
compasses) on an evaluation board that the host sees as a USB serial port:
a window (veltrix-logger), a command-line tool for scripts (veltrix-cli) and
a simulated board (veltrix-boardsim).")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELTRIX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps sees only what the programs link, not what Qt loads at run
# time or asks fontconfig for:
# - libqt6svg6: the window's button icons are SVG, drawn by its icon engine
#   plugin (the programs link no QtSvg symbol);
# - the fonts: the window's layout is measured in these faces' metrics
#   (application_setup.cpp asks for them by name); others clip its labels.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, fonts-crosextra-carlito, fonts-liberation2, fonts-dejavu-core")
if(VELTRIX_PYTHON_DEPENDS)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${VELTRIX_PYTHON_DEPENDS}")
endif()
# The platform plugins: Debian 12's libqt6gui6 carries xcb and offscreen
# itself; qt6-qpa-plugins adds the others (VNC, touch and tablet input).
# rtkit lets a user who is not root run the capture thread real-time
# (common/realtime_kit.h); without it the capture runs, less safe from load.
# python3-numpy: the Python module veltrix imports it (the programs do not).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, rtkit, python3-numpy")
# The udev rule (Install.cmake) takes effect at once and goes when removed.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/postinst;${PROJECT_SOURCE_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
