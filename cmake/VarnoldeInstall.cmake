# Install rules and the CMake package "Varnolde".
#
# Installs the panel's libraries with their public headers (include/varnolde/...), the demo
# data (share/varnolde/demo.jsonl, which the varnolde window creates its demo database from)
# with the example clerk scripts (share/varnolde/*.script) and the package files
# (lib/cmake/Varnolde), so that a payroll application embeds the panel with
#
#   find_package(Varnolde REQUIRED)
#   target_link_libraries(app PRIVATE Varnolde::qt Varnolde::host)
#
# Targets: Varnolde::components (the contracts), Varnolde::panel, Varnolde::mvdb (the
# database), Varnolde::convert (regional settings and the conversion object),
# Varnolde::rights, Varnolde::host (PanelSession: the panel opened as a host opens it) and,
# when Qt 6 was found, Varnolde::qt (QtToolkit). The libraries are static; the package finds
# what they link (SQLite, ICU, nlohmann-json, Qt 6 Widgets). The executables install their
# own rules (src/app).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Library target -> the name it has in the package, in dependency order.
set(_varnolde_exported
  varnolde_warnings:build_warnings varnolde_components:components varnolde_shared:shared
  varnolde_panel:panel varnolde_mvdb:mvdb varnolde_convert:convert varnolde_rights:rights
  varnolde_host:host varnolde_qt:qt)
set(_varnolde_targets "")
foreach(_pair IN LISTS _varnolde_exported)
  string(REPLACE ":" ";" _pair "${_pair}")
  list(GET _pair 0 _target)
  list(GET _pair 1 _name)
  if(TARGET ${_target})
    set_target_properties(${_target} PROPERTIES EXPORT_NAME ${_name})
    list(APPEND _varnolde_targets ${_target})
  endif()
endforeach()

if(NOT TARGET varnolde_panel OR NOT TARGET varnolde_host)
  message(STATUS "Varnolde: the panel is not built yet; no install rules for the package")
  return()
endif()

install(TARGETS ${_varnolde_targets}
  EXPORT VarnoldeTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The headers a host includes, with those they include in turn.
set(_varnolde_headers
  components/converter.h components/database.h components/errors.h components/ref.h
  components/resume_next.h components/rights.h components/tables.h components/toolkit.h
  panel/ctr_consultationacompte.h panel/layout.h
  mvdb/link.h mvdb/jsonl.h
  convert/regional.h convert/format_converter.h
  rights/user_rights.h
  host/panel_session.h)
if(TARGET varnolde_qt)
  list(APPEND _varnolde_headers toolkit/qt/qt_toolkit.h)
endif()
foreach(_header IN LISTS _varnolde_headers)
  get_filename_component(_dir ${_header} DIRECTORY)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/src/${_header}
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/varnolde/${_dir})
endforeach()

# The demo data and the example clerk scripts that run on it; small.jsonl is the small
# employer of docs/mvdb.md.
file(GLOB _varnolde_examples CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/examples/*.jsonl
     ${CMAKE_CURRENT_SOURCE_DIR}/examples/*.script)
install(FILES ${_varnolde_examples} DESTINATION ${CMAKE_INSTALL_DATADIR}/varnolde)

set(_varnolde_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Varnolde)
if(TARGET varnolde_qt)
  set(VARNOLDE_PACKAGE_HAS_QT ON)
else()
  set(VARNOLDE_PACKAGE_HAS_QT OFF)
endif()
install(EXPORT VarnoldeTargets NAMESPACE Varnolde:: DESTINATION ${_varnolde_cmake_dir})
configure_package_config_file(
  ${CMAKE_CURRENT_SOURCE_DIR}/cmake/VarnoldeConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/cmake/VarnoldeConfig.cmake
  INSTALL_DESTINATION ${_varnolde_cmake_dir})
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/cmake/VarnoldeConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/cmake/VarnoldeConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/cmake/VarnoldeConfigVersion.cmake
        DESTINATION ${_varnolde_cmake_dir})
