# SPDX-License-Identifier: GPL-3.0-or-later
# Packages with CPack: on Linux one Debian package per program (cpack -G DEB in the plain build
# folder, installing under /usr), on Windows one zip archive with every program, the README
# and the licence (cpack -G ZIP in the MinGW build folder). scripts/package.sh makes both.
set(CPACK_PACKAGE_NAME kavri)
set(CPACK_PACKAGE_VENDOR "Kavri Control developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kavri-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
get_property(CPACK_COMPONENTS_ALL GLOBAL PROPERTY KAVRI_PACKAGES)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KAVRI_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE kavri)
# Dependencies on the libraries each program links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Each package's description: the first line is the synopsis, the rest the long description.
set(CPACK_DEBIAN_KAVRI-CONTROL_PACKAGE_NAME kavri-control)
# Qt's display plugins are not a library the program links: without them (Qt only recommends
# them) the program cannot open a window. The Wayland plugin lets it run natively there.
set(CPACK_DEBIAN_KAVRI-CONTROL_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_KAVRI-CONTROL_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_KAVRI-CONTROL_PACKAGE_SUGGESTS "kavrictl, kavri-sim")
set(CPACK_COMPONENT_KAVRI-CONTROL_DESCRIPTION
"desktop program for a filter wheel and focuser controller
Kavri Control drives a combined astronomical filter wheel and focuser
controller on a serial line: it turns the wheel to a filter, edits the
filter table, moves and calibrates the focuser, shows up to four
thermometers, tunes the controller's configuration and microstep table,
keeps settings in .fws files and logs temperature, focus and filter to a
daily CSV file.")

set(CPACK_DEBIAN_KAVRICTL_PACKAGE_NAME kavrictl)
set(CPACK_DEBIAN_KAVRICTL_PACKAGE_SUGGESTS "kavri-sim")
set(CPACK_COMPONENT_KAVRICTL_DESCRIPTION
"command-line control of a filter wheel and focuser controller
kavrictl does from a shell or a script what the Kavri Control desktop
program does: select filters, move the focuser, read thermometers, edit
the filter table, the configuration and the microstep table, save and
load settings files and log temperatures. It also fits the temperature
compensation coefficient from the daily logs. Output as text or JSON.")

set(CPACK_DEBIAN_KAVRI-SIM_PACKAGE_NAME kavri-sim)
set(CPACK_COMPONENT_KAVRI-SIM_DESCRIPTION
"emulator of a filter wheel and focuser controller for Kavri Control
kavri-sim plays the combined filter wheel and focuser controller on a
pseudo-terminal, so that kavri-control, kavrictl and the INDI driver can
be tried without hardware. It can register itself as a COM port of the
programs and inject faults (lost replies, garbage, a hung-up line) for
testing.")

set(CPACK_DEBIAN_INDI-KAVRI_PACKAGE_NAME indi-kavri)
set(CPACK_DEBIAN_INDI-KAVRI_PACKAGE_RECOMMENDS "indi-bin")
set(CPACK_COMPONENT_INDI-KAVRI_DESCRIPTION
"INDI driver for a filter wheel and focuser controller
indi_kavri offers the combined filter wheel and focuser controller to
INDI clients, such as KStars/Ekos, as one device with the focuser and
the filter wheel interfaces, locally or over the network through
indiserver.")

set(CPACK_DEBIAN_KAVRI-ALPACA_PACKAGE_NAME kavri-alpaca)
set(CPACK_DEBIAN_KAVRI-ALPACA_PACKAGE_SUGGESTS "kavrictl, kavri-sim")
set(CPACK_COMPONENT_KAVRI-ALPACA_DESCRIPTION
"ASCOM Alpaca server for a filter wheel and focuser controller
kavri-alpaca offers the combined filter wheel and focuser controller to
ASCOM Alpaca clients over HTTP, as a focuser and a filter wheel device,
so that imaging programs on this machine or on the network (Windows
programs through the ASCOM Platform, too) can use it. Clients find it by
Alpaca discovery. It comes with a systemd user unit to run it at boot.")

include(CPack)
