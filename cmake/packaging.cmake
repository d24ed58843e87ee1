# SPDX-License-Identifier: MIT
# `cpack -G DEB` in the build directory makes four Debian packages, split as Debian splits a
# library: libkolvane1 (the shared library), libkolvane-dev (header, .so link, kolvane.pc, the
# CMake package, kolvane(3)), kolvane-tools (kolvane and kolvane-sim with their manual pages)
# and python3-kolvane (the binding). scripts/package builds and checks them.
set(KOLVANE_MAINTAINER "kolvane developers <kolvane@users.noreply.invalid>" CACHE STRING
  "Maintainer of the Debian packages: 'Name <address>'")
set(KOLVANE_DEB_RELEASE 1 CACHE STRING "Debian revision of the packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kolvane developers")
set(CPACK_PACKAGE_CONTACT ${KOLVANE_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev)
if(TARGET kolvane-cli OR TARGET kolvane-sim)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
if(KOLVANE_INSTALL_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KOLVANE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KOLVANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; those between the packages name the same version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps runs in a package's staging directory; the programs' libkolvane.so.1 lies in
# the staging directory of libkolvane1 beside it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ../lib${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
# A shlibs file and the ldconfig trigger for the library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(summary "read em133 and em235 electricity meters over Modbus TCP")
# CPack indents the lines of a description; an empty line separates paragraphs.
set(about "kolvane reads identity, live values, the point catalogue, data logs and\n\
event logs of em133 and em235 electricity meters over Modbus TCP.")

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libkolvane1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# dpkg runs ldconfig through this trigger (CPack's own postinst and postrm call it as well).
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/libkolvane1/triggers)
set(CPACK_COMPONENT_LIB_DESCRIPTION "${summary} (library)\n${about}\n\n\
This package holds the shared library with its flat C interface.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkolvane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS lib)
set(CPACK_COMPONENT_DEV_DESCRIPTION "${summary} (development files)\n${about}\n\n\
This package holds the header, the pkg-config file, the CMake package and\n\
the manual page kolvane(3) of the C interface.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kolvane-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_TOOLS_DEPENDS lib)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "${summary} (command-line tool)\n${about}\n\n\
This package holds the kolvane command, which also collects meters into\n\
SQLite or PostgreSQL, serves them to Prometheus and reports on what it\n\
collected, and kolvane-sim, a meter simulator for development and tests.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-kolvane)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3:any")
set(CPACK_COMPONENT_PYTHON_DEPENDS lib)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "${summary} (Python 3 binding)\n${about}\n\n\
This package holds the ctypes binding for Python 3 of the library.")

# Each package carries the copyright file and the changelog in /usr/share/doc/PACKAGE. They are
# installed only with their component (cpack), not by a plain `cmake --install`.
set(KOLVANE_DEB_VERSION ${PROJECT_VERSION}-${KOLVANE_DEB_RELEASE})
string(TIMESTAMP KOLVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)  # SOURCE_DATE_EPOCH
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(FIND "${licence}" "Permission is hereby granted" grant)
string(SUBSTRING "${licence}" ${grant} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " KOLVANE_EXPAT_TEXT " ${licence}")

set(KOLVANE_DEB_DIR ${PROJECT_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${KOLVANE_DEB_DIR}/changelog.Debian @ONLY)
find_program(KOLVANE_GZIP gzip REQUIRED)
execute_process(COMMAND ${KOLVANE_GZIP} -9nf ${KOLVANE_DEB_DIR}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(KOLVANE_EMBEDDED_COPYRIGHT "")
  if(component STREQUAL tools AND TARGET kolvane-cli)
    file(READ ${PROJECT_SOURCE_DIR}/packaging/debian/uplot.copyright KOLVANE_EMBEDDED_COPYRIGHT)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in ${KOLVANE_DEB_DIR}/${package}/copyright @ONLY)
  install(FILES ${KOLVANE_DEB_DIR}/${package}/copyright ${KOLVANE_DEB_DIR}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# A site that runs itself: kolvane-tools carries the services, their system user and an example
# hosts file as a conffile. Only in the package (prefix /usr), never by a plain `cmake --install`.
if(TARGET kolvane-cli)
  set(systemd_dir ${PROJECT_SOURCE_DIR}/packaging/systemd)
  install(FILES ${systemd_dir}/kolvane-collect.service ${systemd_dir}/kolvane-collect.timer
    ${systemd_dir}/kolvane-exporter.service ${systemd_dir}/kolvane-mqtt.service
    DESTINATION /lib/systemd/system COMPONENT tools EXCLUDE_FROM_ALL)
  install(FILES ${systemd_dir}/kolvane.sysusers RENAME kolvane.conf
    DESTINATION /usr/lib/sysusers.d COMPONENT tools EXCLUDE_FROM_ALL)
  install(FILES ${systemd_dir}/kolvane.tmpfiles RENAME kolvane.conf
    DESTINATION /usr/lib/tmpfiles.d COMPONENT tools EXCLUDE_FROM_ALL)
  install(FILES ${systemd_dir}/site.txt DESTINATION /etc/kolvane COMPONENT tools EXCLUDE_FROM_ALL)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${systemd_dir}/conffiles ${systemd_dir}/postinst)
endif()

include(CPack)
