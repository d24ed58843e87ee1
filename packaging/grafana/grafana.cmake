# SPDX-License-Identifier: MIT
# The Grafana dashboards: installed with the tools into PREFIX/share/kolvane/grafana, and checked
# against their schema in the tests (tests/exporter and tests/collect run their queries).
include(GNUInstallDirs)
set(KOLVANE_GRAFANA_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KOLVANE_GRAFANA_DASHBOARDS
  ${KOLVANE_GRAFANA_DIR}/kolvane-exporter.json ${KOLVANE_GRAFANA_DIR}/kolvane-database.json)
if(TARGET kolvane-cli AND NOT KOLVANE_FUZZ)
  install(FILES ${KOLVANE_GRAFANA_DASHBOARDS}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/kolvane/grafana COMPONENT tools)
endif()
if(KOLVANE_BUILD_TESTS)
  # Debian's python3 with python3-jsonschema (scripts/deps), not a Python of the user's own.
  set(KOLVANE_SYSTEM_PYTHON /usr/bin/python3 CACHE FILEPATH
    "The system's Python, with which the install test installs the binding offline")
  add_test(NAME grafana_dashboards
    COMMAND ${KOLVANE_SYSTEM_PYTHON} ${KOLVANE_GRAFANA_DIR}/check_dashboards.py
      ${KOLVANE_GRAFANA_DIR}/dashboard.schema.json ${KOLVANE_GRAFANA_DASHBOARDS})
  set_tests_properties(grafana_dashboards PROPERTIES TIMEOUT 60)
endif()
