# SPDX-License-Identifier: MIT
# Installation: header, versioned shared library, programs, manual pages, pkg-config file, the
# CMake package that gives find_package(kolvane) the target kolvane::kolvane, and the Python
# binding. Every rule belongs to the component of one Debian package (cmake/packaging.cmake):
# lib, dev, tools or python. Ends with CPack.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KOLVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kolvane)
set(KOLVANE_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS kolvane EXPORT kolvaneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kolvane.h ${PROJECT_BINARY_DIR}/include/kolvane_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# The programs find the library relative to themselves ($ORIGIN, which Debian accepts), so any
# prefix works.
file(RELATIVE_PATH KOLVANE_BIN_TO_LIB
  /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
foreach(program kolvane-cli kolvane-sim)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${KOLVANE_BIN_TO_LIB}")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()
# kolvane-sim's guide, meter description files included, which its --help names.
if(TARGET kolvane-sim)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/sim/README.md RENAME kolvane-sim.md
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kolvane-tools COMPONENT tools)
endif()

# kolvane.pc names the prefix the tree is installed to, known only when installing (cmake
# --install --prefix, CPack's /usr), so it is written then: pkg-config prints clean paths such
# as -I/usr/include, which it recognises as the system's own, for any prefix.
install(CODE "
  set(KOLVANE_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(KOLVANE_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(KOLVANE_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(pc \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KOLVANE_PKGCONFIG_DIR}/kolvane.pc\")
  message(STATUS \"Installing: \${pc}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/kolvane.pc.in\" \"\${pc}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${pc}\")" COMPONENT dev)

install(EXPORT kolvaneTargets NAMESPACE kolvane:: DESTINATION ${KOLVANE_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kolvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kolvaneConfig.cmake INSTALL_DESTINATION ${KOLVANE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kolvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kolvaneConfig.cmake
  ${PROJECT_BINARY_DIR}/kolvaneConfigVersion.cmake DESTINATION ${KOLVANE_CMAKE_DIR} COMPONENT dev)

# The Python binding, in PREFIX/lib/python3/dist-packages: where Debian's python3 finds the
# packages of /usr; for another prefix PYTHONPATH names it. It loads libkolvane.so.1 through the
# system's loader, so the library must be installed where the loader looks (then: ldconfig).
option(KOLVANE_INSTALL_PYTHON "Install the Python binding" ON)
set(KOLVANE_PYTHON_DIR lib/python3/dist-packages CACHE STRING
  "Directory of the installed Python binding, relative to the prefix")
if(KOLVANE_INSTALL_PYTHON)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/bindings/python/kolvane DESTINATION ${KOLVANE_PYTHON_DIR}
    COMPONENT python FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
endif()

include(${PROJECT_SOURCE_DIR}/packaging/man/manpages.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
