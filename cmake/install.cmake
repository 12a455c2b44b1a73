# What `cmake --install` puts where: the command, its man page and bash
# completion, the systemd units and the example configuration (component
# runtime); the library, its headers, a CMake package and a pkg-config file
# (component dev).
include(CMakePackageConfigHelpers)

install(TARGETS grpaudit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS grpaudit_bcm EXPORT grpaudit-targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/src/grpaudit/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/grpaudit
        COMPONENT dev FILES_MATCHING PATTERN "*.h")

set(GRPAUDIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/grpaudit)
install(EXPORT grpaudit-targets NAMESPACE grpaudit:: DESTINATION ${GRPAUDIT_CMAKE_DIR}
        COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/grpaudit-config.cmake.in
                              ${CMAKE_BINARY_DIR}/grpaudit-config.cmake
                              INSTALL_DESTINATION ${GRPAUDIT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/grpaudit-config-version.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/grpaudit-config.cmake
              ${CMAKE_BINARY_DIR}/grpaudit-config-version.cmake
        DESTINATION ${GRPAUDIT_CMAKE_DIR} COMPONENT dev)

# The pkg-config file finds its prefix from where it lies, so the tree can
# be installed under any prefix.
file(RELATIVE_PATH GRPAUDIT_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" GRPAUDIT_PC_TO_PREFIX "${GRPAUDIT_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/grpaudit.pc.in ${CMAKE_BINARY_DIR}/grpaudit.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/grpaudit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)

# The man page carries the version of project() as every other part does;
# it is installed compressed, as Debian's policy asks, and so is each
# package's changelog (gzip -n: the same bytes on every build).
configure_file(${CMAKE_SOURCE_DIR}/docs/grpaudit.1.in ${CMAKE_BINARY_DIR}/grpaudit.1 @ONLY)
execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/grpaudit.1
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/grpaudit.1.gz COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/dist/changelog
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/grpaudit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT runtime)
set(grpaudit_doc_packages runtime:grpaudit dev:grpaudit-dev)
if(GRPAUDIT_PYTHON_BUILT)
  list(APPEND grpaudit_doc_packages python:python3-grpaudit)
endif()
foreach(component_package ${grpaudit_doc_packages})
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${CMAKE_SOURCE_DIR}/dist/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/dist/grpaudit.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME grpaudit
        COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/dist/grpaudit.service ${CMAKE_SOURCE_DIR}/dist/grpaudit.timer
        DESTINATION lib/systemd/system COMPONENT runtime)
# Under /usr the configuration goes to /etc; under any other prefix, to its
# etc/, so that an install under a private prefix stays under it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(GRPAUDIT_ETC /etc)
else()
  set(GRPAUDIT_ETC ${CMAKE_INSTALL_SYSCONFDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/dist/grpaudit.default
        DESTINATION ${GRPAUDIT_ETC}/default RENAME grpaudit COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/dist/etc/ports ${CMAKE_SOURCE_DIR}/dist/etc/vrfs
        DESTINATION ${GRPAUDIT_ETC}/grpaudit COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/dist/grpaudit.rules.yml ${CMAKE_SOURCE_DIR}/examples/README.md
              ${CMAKE_SOURCE_DIR}/examples/leaf-riot.json ${CMAKE_SOURCE_DIR}/examples/mlag-peer.json
              ${CMAKE_SOURCE_DIR}/examples/traditional-bridge.json
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT runtime)
