# The two Debian packages, one from each install component: plimbrook-convert (the command line,
# its man page and the header template; nothing of Qt) and plimbrook (the window program and
# what a desktop needs of it), which takes the template from the first.
# scripts/package.sh builds them with SOURCE_DATE_EPOCH set, which CPack uses for every time in
# the archives, so that two builds of one commit give the same bytes.

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL convert window)
set(CPACK_PACKAGE_CONTACT "Wexmoor-Soft <plimbrook@wexmoor.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://wexmoor.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Both come from one source; the control file says so for the one not named after it.
set(CPACK_DEBIAN_CONVERT_PACKAGE_SOURCE plimbrook)

set(CPACK_DEBIAN_CONVERT_PACKAGE_NAME plimbrook-convert)
set(CPACK_DEBIAN_CONVERT_PACKAGE_SECTION utils)
string(CONCAT CPACK_DEBIAN_CONVERT_DESCRIPTION
    "command-line converter between copier saves and emulator SRAM saves\n"
    "plimbrook-convert moves game saves between copiers and emulators from the\n"
    "command line, for whole folders at once. It turns the SRAM image of an\n"
    "emulator's .srm file, RetroArch-compressed or not, into a Super Wild Card\n"
    "Battery Backup Data (.bbd) file with a short comment in its header, or into\n"
    "a Pro Fighter, Super UFO or Game Doctor save, and any of these back into an\n"
    "SRAM save. A file it replaces is only swapped for the new one once that is\n"
    "completely written.\n"
    "\n"
    "The window program is in the package plimbrook.")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME plimbrook)
set(CPACK_DEBIAN_WINDOW_PACKAGE_SECTION utils)
string(CONCAT CPACK_DEBIAN_WINDOW_DESCRIPTION
    "convert Super Wild Card BBD saves to and from emulator SRAM saves\n"
    "Plimbrook moves game saves between a Super Wild Card copier and an emulator.\n"
    "It turns the SRAM image of an emulator's .srm file into a Battery Backup\n"
    "Data (.bbd) file with a short comment in its header, and a BBD file or\n"
    "another copier's save back into an SRAM save. Files can be dropped on its\n"
    "window or opened with it from the file manager. A file it replaces is only\n"
    "swapped for the new one once that is completely written.\n"
    "\n"
    "The command line, plimbrook-convert, is in the package of that name.")
# The header template comes with the command line. Qt's window-system plugins are loaded at run
# time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "plimbrook-convert (= ${PROJECT_VERSION}), qt6-qpa-plugins")
# The windows are drawn for Tahoma's metrics; these keep every caption whole without it.
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "fonts-dejavu-extra")
set(CPACK_DEBIAN_WINDOW_PACKAGE_SUGGESTS "fonts-wine")
include(CPack)
