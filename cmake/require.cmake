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

# kolvane_require_library(TARGET LIBRARY HEADER DEBIAN_PACKAGE OPTION): a library that ships
# neither a CMake package nor a pkg-config module, imported as TARGET.
macro(kolvane_require_library target library header debian option)
  if(NOT TARGET ${target})
    find_library(${library}_LIBRARY ${library})
    find_path(${library}_INCLUDE_DIR ${header})
    if(NOT ${library}_LIBRARY OR NOT ${library}_INCLUDE_DIR)
      message(FATAL_ERROR "${library} not found: install the Debian package ${debian}, "
                          "or configure with -D${option}=OFF")
    endif()
    add_library(${target} UNKNOWN IMPORTED)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${${library}_LIBRARY}
                                               INTERFACE_INCLUDE_DIRECTORIES ${${library}_INCLUDE_DIR})
  endif()
endmacro()
