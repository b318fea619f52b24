# kelvane-cli with its manual page, the shell completions, the language files and
# the JSON schemas; in every configuration, so that a build without Qt installs it
# too. What both programs read (share/kelvane/: the languages, the schemas) is
# kelvane-cli's, and the window's package depends on it: no file is in both.
include(GNUInstallDirs)

set(_cli_pkg ${CMAKE_SOURCE_DIR}/packaging/linux)
set(_doc_gen ${CMAKE_BINARY_DIR}/packaging/doc)
set(KELVANE_DEB_RELEASE 1)

# Manual pages and the Debian changelogs are installed compressed (gzip -9n: no
# name, no time stamp, so two builds give the same bytes).
function(kelvane_gzip_file source target)
    get_filename_component(_dir ${target} DIRECTORY)
    get_filename_component(_name ${target} NAME_WE)
    string(REGEX REPLACE "\\.gz$" "" _plain ${target})
    add_custom_command(OUTPUT ${target}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${_plain}
        COMMAND gzip -9nf ${_plain}
        DEPENDS ${source} VERBATIM)
endfunction()

set(_gz_outputs)
foreach(page kelvane-cli kelvane)
    kelvane_gzip_file(${_cli_pkg}/man/${page}.1 ${_doc_gen}/man/${page}.1.gz)
    list(APPEND _gz_outputs ${_doc_gen}/man/${page}.1.gz)
endforeach()
foreach(pkg kelvane-cli kelvane)
    set(KELVANE_DEB_PACKAGE ${pkg})
    configure_file(${_cli_pkg}/changelog.Debian.in ${_doc_gen}/${pkg}/changelog.Debian @ONLY)
    kelvane_gzip_file(${_doc_gen}/${pkg}/changelog.Debian
                      ${_doc_gen}/${pkg}/gz/changelog.Debian.gz)
    list(APPEND _gz_outputs ${_doc_gen}/${pkg}/gz/changelog.Debian.gz)
endforeach()
add_custom_target(kelvane_docs ALL DEPENDS ${_gz_outputs})

install(TARGETS kelvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${_doc_gen}/man/kelvane-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT cli)
if(KELVANE_GUI)
    install(FILES ${_doc_gen}/man/kelvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT window)
endif()
file(GLOB _languages ${CMAKE_SOURCE_DIR}/data/*.lng)
install(FILES ${CMAKE_SOURCE_DIR}/data/kelvane-cli-events.schema.json
              ${CMAKE_SOURCE_DIR}/data/kelvane-report-1.schema.json
              ${CMAKE_SOURCE_DIR}/data/kelvane-report-2.schema.json
              ${CMAKE_SOURCE_DIR}/data/kelvane-schedule.schema.json
              ${CMAKE_SOURCE_DIR}/data/Kelvane_Languages.ini ${_languages}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvane COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/data/Kelvane_License.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvane-cli RENAME copyright COMPONENT cli)
install(FILES ${_doc_gen}/kelvane-cli/gz/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvane-cli COMPONENT cli)
# Where bash-completion, zsh and fish look for the completions of packages.
install(FILES ${_cli_pkg}/completions/kelvane-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelvane-cli
        COMPONENT cli)
install(FILES ${_cli_pkg}/completions/_kelvane-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT cli)
install(FILES ${_cli_pkg}/completions/kelvane-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT cli)
