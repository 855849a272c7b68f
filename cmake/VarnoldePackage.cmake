# What a desktop installation needs beyond the library, and the Debian package.
#
# Install rules (for `cmake --install` as for the package): the manual pages of the three
# programs, made at build time by help2man from each program's own --help text (and the
# sections in packaging/man/*.h2m), when help2man is installed; the menu entry "Acomptes des
# aidants" with its icon; the documentation, its copyright file and changelog in
# share/doc/varnolde.
#
# The package: `cpack -G DEB` in the build directory (`make package`) makes
# varnolde_<version>_amd64.deb, installed under /usr. Its dependencies come from the shared
# libraries the programs link (dpkg-shlibdeps, from dpkg-dev). docs/install.md describes it.
include(GNUInstallDirs)

set(_varnolde_packaging ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(_varnolde_docdir ${CMAKE_INSTALL_DATADIR}/doc/varnolde)  # named after the package

# Manual pages. Qt's offscreen platform lets varnolde answer --help where there is no display.
find_program(VARNOLDE_HELP2MAN help2man)
set(_varnolde_man_pages "")
if(VARNOLDE_HELP2MAN AND NOT VARNOLDE_SANITIZE)
  foreach(_program mvdb varnolde-script varnolde)
    if(TARGET ${_program})
      set(_page ${CMAKE_CURRENT_BINARY_DIR}/man/${_program}.1)
      add_custom_command(
        OUTPUT ${_page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${VARNOLDE_HELP2MAN} --no-info --locale=C.UTF-8
                --version-string=${PROJECT_VERSION} --section=1
                --include=${_varnolde_packaging}/man/${_program}.h2m
                --output=${_page} $<TARGET_FILE:${_program}>
        COMMAND gzip -9nf ${_page}
        DEPENDS ${_program} ${_varnolde_packaging}/man/${_program}.h2m
        COMMENT "Manual page of ${_program} (help2man)"
        VERBATIM)
      list(APPEND _varnolde_man_pages ${_page}.gz)
    endif()
  endforeach()
  add_custom_target(varnolde_man_pages ALL DEPENDS ${_varnolde_man_pages})
  install(FILES ${_varnolde_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(NOT VARNOLDE_SANITIZE)
  message(STATUS "Varnolde: help2man not found; no manual pages (scripts/install-deps.sh packaging)")
endif()

# The menu entry starts the window, so it goes with it.
if(TARGET varnolde)
  install(FILES ${_varnolde_packaging}/varnolde.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_varnolde_packaging}/varnolde.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Documentation: README.md beside docs/, so that its links hold; the embedding example.
set(_varnolde_changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog)
add_custom_command(
  OUTPUT ${_varnolde_changelog}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${_varnolde_packaging}/changelog ${_varnolde_changelog}
  COMMAND gzip -9nf ${_varnolde_changelog}
  DEPENDS ${_varnolde_packaging}/changelog
  VERBATIM)
add_custom_target(varnolde_changelog ALL DEPENDS ${_varnolde_changelog}.gz)
install(FILES README.md ${_varnolde_packaging}/copyright ${_varnolde_changelog}.gz
        DESTINATION ${_varnolde_docdir})
install(DIRECTORY docs/ DESTINATION ${_varnolde_docdir}/docs)
install(FILES examples/embed/CMakeLists.txt examples/embed/main.cpp
        DESTINATION ${_varnolde_docdir}/examples/embed)

# A stripped install (`cmake --install --strip`, and the package) strips as Debian does: the
# debugging sections of the static libraries too, and the compiler's notes in the programs.
set(_varnolde_strip_programs mvdb varnolde-script varnolde)
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    set(_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(GLOB _archives \"\${_root}/${CMAKE_INSTALL_LIBDIR}/libvarnolde_*.a\")
    foreach(_program ${_varnolde_strip_programs})
      if(EXISTS \"\${_root}/${CMAKE_INSTALL_BINDIR}/\${_program}\")
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                        --remove-section=.note \"\${_root}/${CMAKE_INSTALL_BINDIR}/\${_program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endforeach()
    foreach(_archive IN LISTS _archives)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
                      --remove-section=.note --enable-deterministic-archives \"\${_archive}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# The Debian package.
set(VARNOLDE_PACKAGE_MAINTAINER "Varnolde developers <varnolde@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnolde)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnolde")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARNOLDE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not linked, so not found by dpkg-shlibdeps: the column font's metric twin and Qt's French
# texts (window.md); the development packages the CMake package finds when embedding.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "libsqlite3-dev, libicu-dev, nlohmann-json3-dev, qt6-base-dev, cmake")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "salary advances panel for home-care payroll
The advances panel is the screen on which a payroll clerk consults, enters,
changes and deletes the salary advances paid to a caregiver for a pay period,
contract by contract. Everything the clerk sees is in French.
This package holds the panel in a window of its own (varnolde, in the menu as
'Acomptes des aidants', opening a demo database of its user when started
without --db), varnolde-script to replay a clerk's work without a screen, the
mvdb tool of the embedded multivalue database, the demo data and clerk scripts,
and the static libraries, headers and CMake package for embedding the panel in
a Qt 6 application.")
include(CPack)
