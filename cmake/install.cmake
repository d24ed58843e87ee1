# Installation: header, versioned shared library, programs, pkg-config file and the CMake
# package that gives find_package(kolvane) the target kolvane::kolvane. Ends with CPack.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KOLVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kolvane)
set(KOLVANE_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS kolvane EXPORT kolvaneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kolvane.h ${PROJECT_BINARY_DIR}/include/kolvane_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The programs find the library relative to themselves, so any prefix works.
file(RELATIVE_PATH KOLVANE_BIN_TO_LIB
  /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
foreach(program kolvane-cli kolvane-sim)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${KOLVANE_BIN_TO_LIB}")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# kolvane.pc locates the prefix from its own directory, so it stays valid when the tree is
# installed with --prefix or DESTDIR or unpacked from the Debian package.
file(RELATIVE_PATH KOLVANE_PC_TO_PREFIX /prefix/${KOLVANE_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" KOLVANE_PC_TO_PREFIX ${KOLVANE_PC_TO_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/kolvane.pc.in ${PROJECT_BINARY_DIR}/kolvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kolvane.pc DESTINATION ${KOLVANE_PKGCONFIG_DIR})

install(EXPORT kolvaneTargets NAMESPACE kolvane:: DESTINATION ${KOLVANE_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kolvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kolvaneConfig.cmake INSTALL_DESTINATION ${KOLVANE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kolvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kolvaneConfig.cmake
  ${PROJECT_BINARY_DIR}/kolvaneConfigVersion.cmake DESTINATION ${KOLVANE_CMAKE_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
