# SPDX-License-Identifier: GPL-3.0-or-later
# `make package`: a Debian package of everything `cmake --install` lays out,
# installed under /usr. Its Depends come from the shared libraries the
# programs actually link (dpkg-shlibdeps), not from the build's -dev packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarnel-eval)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QUARNEL Evaluation Software developers <quarnel-eval@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "evaluation software for the QUARNEL temperature-monitor chip")
# Lines of at most 80 characters, as Debian's policy asks.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Desktop evaluation software for the QUARNEL temperature-monitor chip and its
USB evaluation board: live readings, configuration, register access bit by bit,
limits and interrupt masks, graphs and CSV logging. quarnel-eval is the GUI,
quarnelctl the command-line tool; both run on a simulated board by default. The
Python module quarnel scripts the board and reads logs into numpy.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python module links no libpython, so dpkg-shlibdeps cannot see these: the
# interpreter version it is built for, and numpy.
if(QUARNEL_PYTHON)
  math(EXPR next_minor "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), \
python3 (<< ${Python3_VERSION_MAJOR}.${next_minor}), python3-numpy")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.example.com/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
