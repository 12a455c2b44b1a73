# The Debian packages, built by `make deb` (CPack's DEB generator) from a
# tree configured with the prefix /usr: grpaudit (the command, its man page,
# completion, systemd units and configuration) and grpaudit-dev (the
# library, its headers, the CMake package and the pkg-config file), and
# python3-grpaudit (the Python module) where it is built.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME grpaudit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "grpaudit maintainers <maintainers@users.noreply.c-seed-79d54661.example>")
# Each package's description starts with its own summary line; a package
# summary set here would be put before every one of them.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(GRPAUDIT_PYTHON_BUILT)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME grpaudit)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION net)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "checks that a switch's ASIC forwards IPv4 multicast as the kernel routes it
grpaudit reads a Linux switch's multicast routing twice: the kernel's routes
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
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "grpaudit's library: the ASIC and kernel readers and the audit, for C++
The library behind grpaudit, with its headers, a CMake package
(find_package(grpaudit)) and a pkg-config file, for front ends that audit a
switch's multicast forwarding themselves.")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "libpcre2-dev, nlohmann-json3-dev, libfmt-dev, libsimdjson-dev, libabsl-dev")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-grpaudit)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "grpaudit's audit of a switch's multicast forwarding, for Python
The module grpaudit: the library behind the grpaudit command for Python
front ends and automation, without a subprocess. It reads a switch (live,
through a Python stand-in for the SDK shell, or from a snapshot), exposes
its tables as read-only records, and audits every route as the command's
JSON report does.")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS ON)
# The module is built for one Python version: the one it was built with.
if(GRPAUDIT_PYTHON_BUILT)
  math(EXPR grpaudit_next_minor "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${grpaudit_next_minor})")
endif()
include(CPack)
