# SPDX-License-Identifier: MIT
# Manual pages, generated so they never drift: kolvane(1) and kolvane-sim(1) from the programs'
# own --help (help2man), kolvane(3) from the documentation in the public headers. Installed
# compressed under share/man, with the component of the package that carries what they describe.
option(KOLVANE_BUILD_MANPAGES "Build the manual pages (needs help2man and python3)" ${KOLVANE_BUILD_TOOLS})
if(NOT KOLVANE_BUILD_MANPAGES)
  return()
endif()
kolvane_require(Python3 python3 KOLVANE_BUILD_MANPAGES COMPONENTS Interpreter)
find_program(KOLVANE_HELP2MAN help2man)
if(NOT KOLVANE_HELP2MAN AND (TARGET kolvane-cli OR TARGET kolvane-sim))
  message(FATAL_ERROR "help2man not found: install the Debian package help2man, "
                      "or configure with -DKOLVANE_BUILD_MANPAGES=OFF")
endif()
find_program(KOLVANE_GZIP gzip REQUIRED)

set(man_dir ${PROJECT_BINARY_DIR}/man)
set(man_source ${CMAKE_CURRENT_LIST_DIR})
set(pages "")
file(MAKE_DIRECTORY ${man_dir})

add_custom_command(OUTPUT ${man_dir}/kolvane.3.gz
  COMMAND ${Python3_EXECUTABLE} ${man_source}/header_page.py ${PROJECT_VERSION} ${man_dir}/kolvane.3
    ${PROJECT_SOURCE_DIR}/include/kolvane.h ${PROJECT_BINARY_DIR}/include/kolvane_version.h
  COMMAND ${KOLVANE_GZIP} -9nf ${man_dir}/kolvane.3
  DEPENDS ${man_source}/header_page.py ${PROJECT_SOURCE_DIR}/include/kolvane.h
    ${PROJECT_BINARY_DIR}/include/kolvane_version.h
  COMMENT "Manual page kolvane(3)" VERBATIM)
list(APPEND pages ${man_dir}/kolvane.3.gz)
install(FILES ${man_dir}/kolvane.3.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)

# kolvane_program_page(TARGET NAME SUMMARY SEE_ALSO)
function(kolvane_program_page target name summary see_also)
  if(NOT TARGET ${target})
    return()
  endif()
  add_custom_command(OUTPUT ${man_dir}/${name}.1.gz
    COMMAND ${CMAKE_COMMAND} -E env HELP2MAN=${KOLVANE_HELP2MAN} ${man_source}/tool_page.sh
      $<TARGET_FILE:${target}> ${PROJECT_VERSION} ${summary} ${see_also} ${man_dir}/${name}.1
    COMMAND ${KOLVANE_GZIP} -9nf ${man_dir}/${name}.1
    DEPENDS ${target} ${man_source}/tool_page.sh
    COMMENT "Manual page ${name}(1)" VERBATIM)
  set(pages ${pages} ${man_dir}/${name}.1.gz PARENT_SCOPE)
  install(FILES ${man_dir}/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endfunction()
kolvane_program_page(kolvane-cli kolvane "read em133 and em235 electricity meters over Modbus TCP"
  "\\fBkolvane\\-sim\\fR(1), \\fBkolvane\\fR(3)")
kolvane_program_page(kolvane-sim kolvane-sim "serve a simulated em133 or em235 meter over Modbus TCP"
  ".BR kolvane (1)")

add_custom_target(kolvane-manpages ALL DEPENDS ${pages})
