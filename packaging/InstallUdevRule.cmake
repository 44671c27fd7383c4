# SPDX-License-Identifier: GPL-3.0-or-later
# Runs at install time, from cmake_install.cmake: installs the udev rule for USB link adapters
# under <prefix>/lib/udev/rules.d, but only where udev reads rules, which is /usr/lib/udev/rules.d
# (the Debian package, prefix /usr) and /usr/local/lib/udev/rules.d (besides /etc and /run).
# Under any other prefix, ~/.local say, a copy would do nothing, so it says how to install the
# rule by hand instead. The prefix is only known now: `cmake --install --prefix` may differ from
# the one configured. DESTDIR, as CPack uses it, is added by file(INSTALL) itself.
#
# Set before this runs: FENNOW_UDEV_RULE, the rule's path in the source tree.

cmake_path(SET prefix NORMALIZE "${CMAKE_INSTALL_PREFIX}/")
if(prefix STREQUAL "/usr/" OR prefix STREQUAL "/usr/local/")
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d" TYPE FILE
       FILES "${FENNOW_UDEV_RULE}")
else()
  message(STATUS "Not installed: the udev rule for USB link adapters, which udev does not read "
                 "under ${CMAKE_INSTALL_PREFIX}. To use a USB adapter without root, install it by "
                 "hand: sudo cp ${FENNOW_UDEV_RULE} /etc/udev/rules.d/ (see the README)")
endif()
