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
# The help pages and documents; the language files and the schemas, which
# kelvane-cli reads too, come with its package (cmake/InstallCli.cmake).
install(DIRECTORY ${KELVANE_DATA_DIR}/ DESTINATION ${_share}/kelvane
        PATTERN *.schema.json EXCLUDE PATTERN *.lng EXCLUDE PATTERN Kelvane_Languages.ini EXCLUDE)
install(FILES ${KELVANE_DATA_DIR}/Kelvane_License.txt DESTINATION ${_share}/doc/kelvane
        RENAME copyright)
install(FILES ${CMAKE_BINARY_DIR}/packaging/doc/kelvane/gz/changelog.Debian.gz
        DESTINATION ${_share}/doc/kelvane)

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
# The executable bit of Dolphin's service menus is meant (see above): lintian is told.
install(FILES ${_pkg}/lintian/kelvane DESTINATION ${_share}/lintian/overrides)

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
Kelvane, and kelvane-add-to-file-manager adds that entry for Nautilus and
Thunar.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KELVANE_DEB_RELEASE})
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
# The extended descriptions; the synopsis is the summary above.
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "kelvane-cli shreds files and folders, overwrites the free space of mounted file
systems and tells whether overwriting reaches each file's data, from a terminal
or a script, without a display: options for passes, pattern, names and
verification, exit statuses and JSON lines for configuration tools.")
# Reports are signed with OpenSSL's libcrypto: dpkg-shlibdeps names libssl3 with
# its version, so it is not added by hand (it would stand twice).
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "")
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "")
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_WINDOW_PACKAGE_SECTION utils)

# The same two packages as RPMs: "cpack -G RPM" (needs rpmbuild). Their
# requirements come from the linked libraries (rpm's own dependency finder).
set(CPACK_RPM_COMPONENT_INSTALL ON)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE ${KELVANE_DEB_RELEASE})
set(CPACK_RPM_PACKAGE_LICENSE "MIT")
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_URL ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_RPM_WINDOW_PACKAGE_NAME kelvane)
set(CPACK_RPM_CLI_PACKAGE_NAME kelvane-cli)
set(CPACK_RPM_WINDOW_PACKAGE_REQUIRES
    "kelvane-cli = ${PROJECT_VERSION}-${KELVANE_DEB_RELEASE}")
set(CPACK_RPM_WINDOW_PACKAGE_SUMMARY "Secure deletion of files and free disk space")
set(CPACK_RPM_CLI_PACKAGE_SUMMARY "Secure deletion of files and free disk space, from a terminal")
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}")
set(CPACK_RPM_WINDOW_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_CLI_PACKAGE_DESCRIPTION
    "kelvane-cli shreds files and folders, overwrites the free space of mounted file
systems and tells whether overwriting reaches each file's data, from a terminal
or a script, without a display.")
configure_file(${_pkg}/rpm-changelog.in ${_gen}/rpm-changelog @ONLY)
set(CPACK_RPM_CHANGELOG_FILE ${_gen}/rpm-changelog)
# Folders that belong to the system's own packages are not claimed.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/man /usr/share/man/man1 /usr/share/man/man8 /usr/libexec /usr/share/polkit-1
    /usr/share/polkit-1/actions /usr/share/applications /usr/share/metainfo
    /usr/share/icons /usr/share/icons/hicolor /usr/share/bash-completion
    /usr/share/bash-completion/completions /usr/share/zsh /usr/share/zsh/vendor-completions
    /usr/share/fish /usr/share/fish/vendor_completions.d /usr/share/kio
    /usr/share/kio/servicemenus /usr/share/nemo /usr/share/nemo/actions
    /usr/share/file-manager /usr/share/file-manager/actions /usr/share/doc
    /usr/share/icons/hicolor/scalable /usr/share/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
         /usr/share/icons/hicolor/${size}x${size} /usr/share/icons/hicolor/${size}x${size}/apps)
endforeach()
include(CPack)
