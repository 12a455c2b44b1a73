# The Debian packages, built by `make deb` (CPack's DEB generator) from a
# tree configured with the prefix /usr: grpaudit (the command, its man page,
# completion, systemd units and configuration) and grpaudit-dev (the
# library, its headers, the CMake package and the pkg-config file).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME grpaudit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "grpaudit maintainers <maintainers@users.noreply.c-seed-79d54661.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "checks that a switch's ASIC forwards IPv4 multicast as the kernel routes it")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME grpaudit)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION net)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "grpaudit reads a Linux switch's multicast routing twice: the kernel's routes
and devices, and the ASIC's routes and replication groups through the switch
SDK's diagnostic shell. It translates both into comparable replication
identities and reports every route that differs, as text, JSON or
Prometheus metrics. It can run once, watch the switch, or replay a snapshot
recorded on a switch anywhere.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "iproute2")
# The configuration is the administrator's: kept across upgrades.
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles
     "/etc/default/grpaudit\n/etc/grpaudit/ports\n/etc/grpaudit/vrfs\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME grpaudit-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DESCRIPTION_SUMMARY
    "grpaudit's library: the ASIC and kernel readers and the audit, for C++")
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "The library behind grpaudit, with its headers, a CMake package
(find_package(grpaudit)) and a pkg-config file, for front ends that audit a
switch's multicast forwarding themselves.")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "libpcre2-dev, nlohmann-json3-dev, libfmt-dev, libsimdjson-dev, libabsl-dev")
include(CPack)
