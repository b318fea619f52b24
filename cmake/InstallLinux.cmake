# The installed layout: bin/kelvane, the data in share/kelvane/ (found there by
# FindDataFolder), and what the desktop reads: the menu entry, the icon, the
# AppStream data and the file managers' "Shred with Kelvane". Also the Debian
# package built from that layout by "cpack -G DEB".
include(GNUInstallDirs)
# What is installed here belongs to the window's package; kelvane-cli has its own
# (cmake/InstallCli.cmake).
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME window)

set(_pkg ${KELVANE_PACKAGING_DIR})
set(_gen ${CMAKE_BINARY_DIR}/packaging)
set(_share ${CMAKE_INSTALL_DATADIR})

configure_file(${_pkg}/kelvane.desktop.in ${_gen}/${KELVANE_APP_ID}.desktop @ONLY)
configure_file(${_pkg}/kelvane.metainfo.xml.in ${_gen}/${KELVANE_APP_ID}.metainfo.xml @ONLY)
configure_file(${_pkg}/filemanager/kelvane-shred.kio.desktop.in
               ${_gen}/kio/kelvane-shred.desktop @ONLY)
# Dolphin shows it in the trash (trash:/): the whole trash goes, as "kelvane -trash".
configure_file(${_pkg}/filemanager/kelvane-shred-trash.kio.desktop.in
               ${_gen}/kio/kelvane-shred-trash.desktop @ONLY)
configure_file(${_pkg}/filemanager/kelvane-shred.nemo_action.in
               ${_gen}/kelvane-shred.nemo_action @ONLY)
configure_file(${_pkg}/filemanager/kelvane-shred.fma.desktop.in
               ${_gen}/file-manager/kelvane-shred.desktop @ONLY)
configure_file(${_pkg}/filemanager/kelvane-add-to-file-manager.in
               ${_gen}/kelvane-add-to-file-manager @ONLY)

install(TARGETS kelvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${_gen}/kelvane-add-to-file-manager DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${KELVANE_DATA_DIR}/ DESTINATION ${_share}/kelvane
        PATTERN kelvane-cli-events.schema.json EXCLUDE)
install(FILES ${KELVANE_DATA_DIR}/Kelvane_License.txt DESTINATION ${_share}/doc/kelvane
        RENAME copyright)

install(FILES ${_gen}/${KELVANE_APP_ID}.desktop DESTINATION ${_share}/applications)
install(FILES ${_gen}/${KELVANE_APP_ID}.metainfo.xml DESTINATION ${_share}/metainfo)
install(FILES ${_pkg}/icons/kelvane.svg DESTINATION ${_share}/icons/hicolor/scalable/apps
        RENAME ${KELVANE_APP_ID}.svg)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${_pkg}/icons/kelvane-${size}.png
            DESTINATION ${_share}/icons/hicolor/${size}x${size}/apps RENAME ${KELVANE_APP_ID}.png)
endforeach()

# Dolphin reads service menus from a user's own data folder only when they are
# executable, so the file carries the bit wherever the prefix is.
install(PROGRAMS ${_gen}/kio/kelvane-shred.desktop ${_gen}/kio/kelvane-shred-trash.desktop
        DESTINATION ${_share}/kio/servicemenus)
install(FILES ${_gen}/kelvane-shred.nemo_action DESTINATION ${_share}/nemo/actions)
# Caja (caja-actions), PCManFM and the FileManager-Actions extension read these.
install(FILES ${_gen}/file-manager/kelvane-shred.desktop DESTINATION ${_share}/file-manager/actions)

set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "The Kelvane project")
set(CPACK_PACKAGE_CONTACT "The Kelvane project <info@kelvane.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kelvane.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "secure deletion of files and free disk space")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvane overwrites files in place, scrambles their names and sizes and removes
them, together with the folders that became empty. It also overwrites the free
space of mounted file systems, logs every run and can run unattended from the
command line. Dolphin, Nemo and Caja offer to shred the selected files with
Kelvane, and kelvane-add-to-file-manager adds that entry for Nautilus and Thunar.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps turns the linked Qt libraries into the Depends line.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-open opens the help pages and the log; the platform plugins beyond X11.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland, qt6-translations-l10n")
# Two packages: kelvane-cli (no Qt in its dependencies) and the window, which
# runs its headless runs on kelvane-cli's terminal face and depends on it.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL window cli)
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME kelvane)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME kelvane-cli)
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "kelvane-cli (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")
set(CPACK_COMPONENT_CLI_DESCRIPTION
    "secure deletion of files and free disk space, from a terminal
kelvane-cli shreds files and folders, overwrites the free space of mounted file
systems and tells whether overwriting reaches each file's data, from a terminal
or a script, without a display: options for passes, pattern, names and
verification, exit statuses and JSON lines for configuration tools.")
# Reports are signed with OpenSSL's libcrypto (also found by dpkg-shlibdeps).
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "libssl3")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "")
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "")
include(CPack)
