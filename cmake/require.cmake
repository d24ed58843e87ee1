# SPDX-License-Identifier: MIT
# Dependencies of the tools, tests and benchmarks (the library itself needs none). A missing one
# stops the configure with one line naming the Debian package that provides it and the option
# that leaves out the part needing it.

# kolvane_require(PACKAGE DEBIAN_PACKAGE OPTION [find_package arguments...])
macro(kolvane_require package debian option)
  find_package(${package} ${ARGN} QUIET)
  if(NOT ${package}_FOUND)
    message(FATAL_ERROR "${package} not found: install the Debian package ${debian}, "
                        "or configure with -D${option}=OFF")
  endif()
endmacro()

# kolvane_require_module(PREFIX MODULE DEBIAN_PACKAGE OPTION): a pkg-config module, imported as
# PkgConfig::PREFIX.
macro(kolvane_require_module prefix module debian option)
  kolvane_require(PkgConfig pkg-config ${option})
  if(NOT TARGET PkgConfig::${prefix})
    pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${module})
  endif()
  if(NOT TARGET PkgConfig::${prefix})
    message(FATAL_ERROR "${module} not found: install the Debian package ${debian}, "
                        "or configure with -D${option}=OFF")
  endif()
endmacro()
