# `cpack` in the build directory makes one Debian package with the library, its header and
# development files, and the kolvane and kolvane-sim programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kolvane developers")
set(CPACK_PACKAGE_CONTACT "kolvane developers <kolvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Read em133 and em235 electricity meters over Modbus TCP")
set(CPACK_PACKAGE_DESCRIPTION
  "A shared library with a flat C interface that reads identity, live values, the\n\
point catalogue, data logs and event logs of em133 and em235 meters, with the\n\
kolvane command-line tool and the kolvane-sim meter simulator.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file and the ldconfig trigger for the library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
include(CPack)
