# kelvane-helper: the privileged helper started through pkexec, with its polkit
# actions. Shared by both packages (component "cli", which the window's package
# depends on), so that the window and kelvane-cli reach the same helper.
include(GNUInstallDirs)

add_executable(kelvane-helper ${CMAKE_SOURCE_DIR}/src/helper/main/main.cpp)
target_link_libraries(kelvane-helper PRIVATE kelvane_core)
set_target_properties(kelvane-helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

set(KELVANE_HELPER_INSTALLED ${CMAKE_INSTALL_FULL_LIBEXECDIR}/kelvane-helper)
# The runs start the helper where the package puts it, and pkexec runs it only
# from the path its policy names.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/helper/HelperClient.cpp PROPERTIES
    COMPILE_DEFINITIONS "KELVANE_HELPER_PATH=\"${KELVANE_HELPER_INSTALLED}\"")
configure_file(${CMAKE_SOURCE_DIR}/packaging/linux/polkit/example.kelvane.helper.policy.in
               ${CMAKE_BINARY_DIR}/packaging/example.kelvane.helper.policy @ONLY)

install(TARGETS kelvane-helper RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR} COMPONENT cli)
install(FILES ${CMAKE_BINARY_DIR}/packaging/example.kelvane.helper.policy
        DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions COMPONENT cli)
# Compressed as the other manual pages are.
kelvane_gzip_file(${CMAKE_SOURCE_DIR}/packaging/linux/man/kelvane-helper.8
                  ${_doc_gen}/man/kelvane-helper.8.gz)
add_custom_target(kelvane_helper_doc ALL DEPENDS ${_doc_gen}/man/kelvane-helper.8.gz)
install(FILES ${_doc_gen}/man/kelvane-helper.8.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT cli)
