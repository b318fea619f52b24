# kelvane-cli with its manual page, the shell completions and the schema of its
# JSON lines; in every configuration, so that a build without Qt installs it too.
include(GNUInstallDirs)

set(_cli_pkg ${CMAKE_SOURCE_DIR}/packaging/linux)
install(TARGETS kelvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${_cli_pkg}/man/kelvane-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT cli)
if(KELVANE_GUI)
    install(FILES ${_cli_pkg}/man/kelvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT window)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/data/kelvane-cli-events.schema.json
              ${CMAKE_SOURCE_DIR}/data/kelvane-report-1.schema.json
              ${CMAKE_SOURCE_DIR}/data/kelvane-report-2.schema.json
              ${CMAKE_SOURCE_DIR}/data/kelvane-schedule.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvane COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/data/Kelvane_License.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvane-cli RENAME copyright COMPONENT cli)
# Where bash-completion, zsh and fish look for the completions of packages.
install(FILES ${_cli_pkg}/completions/kelvane-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelvane-cli
        COMPONENT cli)
install(FILES ${_cli_pkg}/completions/_kelvane-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT cli)
install(FILES ${_cli_pkg}/completions/kelvane-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT cli)
