# What `cmake --install` puts in place (DESTDIR and --prefix honoured), in
# three components that are also the three Debian packages `cpack -G DEB`
# makes:
#   velkan          the command, the sample tables, its manual page, bash
#                   completion and documents;
#   velkan-gui      the dialog, its manual page, desktop entry and icon;
#   libvelkan-dev   the library, its public headers and its CMake package
#                   (find_package(velkan) gives velkan::velkan).
include(CMakePackageConfigHelpers)

set(VELKAN_DATA_DIR ${CMAKE_INSTALL_DATADIR}/velkan)
set(VELKAN_DIST_DIR ${CMAKE_SOURCE_DIR}/dist)
# The manual pages, with the version filled in.
foreach(page velkan.1 velkan-gui.1)
  configure_file(${VELKAN_DIST_DIR}/man/${page} ${CMAKE_BINARY_DIR}/dist/man/${page} @ONLY)
endforeach()

# --- velkan: the command and what it needs -------------------------------
install(TARGETS velkan_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT velkan)
# The sample root: the tables compiled from data/sample (and sample.def), never
# a store or anything else a run may have left in the build tree's root.
foreach(src ${VELKAN_SAMPLE_SOURCES})
  string(REGEX REPLACE "\\.txt$" "" rel ${src})
  get_filename_component(relDir ${rel} DIRECTORY)
  install(FILES ${VELKAN_SAMPLE_ROOT}/${rel} DESTINATION ${VELKAN_DATA_DIR}/root/${relDir} COMPONENT velkan)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/dist/man/velkan.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT velkan)
# The message catalogs, which the dialog reads too.
foreach(mo ${VELKAN_CATALOGS})
  file(RELATIVE_PATH rel ${CMAKE_BINARY_DIR}/locale ${mo})
  get_filename_component(relDir ${rel} DIRECTORY)
  install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${relDir} COMPONENT velkan)
endforeach()
install(FILES ${VELKAN_DIST_DIR}/bash-completion/velkan
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT velkan)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velkan COMPONENT velkan)
install(FILES ${CMAKE_SOURCE_DIR}/data/sample/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velkan
  RENAME README.sample-tables.md COMPONENT velkan)
install(FILES ${CMAKE_SOURCE_DIR}/examples/sample.txt ${CMAKE_SOURCE_DIR}/examples/sample.zan
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velkan/examples COMPONENT velkan)

# Every package's document folder holds the copyright and licence note and
# the change log (compressed, as Debian keeps it; gzip -n leaves no date in it).
find_program(VELKAN_GZIP gzip)
set(VELKAN_CHANGELOG_GZ "")
if(VELKAN_GZIP)
  set(VELKAN_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/dist/changelog.gz)
  add_custom_command(OUTPUT ${VELKAN_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dist
    COMMAND ${VELKAN_GZIP} -9n < ${VELKAN_DIST_DIR}/changelog > ${VELKAN_CHANGELOG_GZ}
    DEPENDS ${VELKAN_DIST_DIR}/changelog
    COMMENT "Compressed change log")
  add_custom_target(velkan_changelog ALL DEPENDS ${VELKAN_CHANGELOG_GZ})
endif()
foreach(component velkan velkan-gui libvelkan-dev)
  if(component STREQUAL "velkan-gui" AND NOT TARGET velkan_gui)
    continue()
  endif()
  install(FILES ${VELKAN_DIST_DIR}/copyright ${VELKAN_CHANGELOG_GZ}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${component} COMPONENT ${component})
endforeach()

# --- velkan-gui: the dialog ----------------------------------------------
if(TARGET velkan_gui)
  install(TARGETS velkan_gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT velkan-gui)
  install(FILES ${CMAKE_BINARY_DIR}/dist/man/velkan-gui.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT velkan-gui)
  install(FILES ${VELKAN_DIST_DIR}/velkan-gui.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    COMPONENT velkan-gui)
  install(FILES ${VELKAN_DIST_DIR}/velkan-gui.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    COMPONENT velkan-gui)
endif()

# --- libvelkan-dev: the library for programs that embed the converter ------
# The job API (engine/job.h), the version (engine/version.h) and the
# headers the job API includes (conversion/session.h,
# conversion/written_warning.h, io/note.h), under include/velkan/
# so that a program includes "engine/job.h" as velkan's own code does.
install(TARGETS velkan EXPORT velkanTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libvelkan-dev)
foreach(header engine/job.h engine/version.h conversion/session.h conversion/written_warning.h io/note.h)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES src/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velkan/${folder} COMPONENT libvelkan-dev)
endforeach()
set(VELKAN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velkan)
install(EXPORT velkanTargets NAMESPACE velkan:: DESTINATION ${VELKAN_CMAKE_DIR} COMPONENT libvelkan-dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/velkanConfig.cmake.in
  ${CMAKE_BINARY_DIR}/cmake/velkanConfig.cmake INSTALL_DESTINATION ${VELKAN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/velkanConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/velkanConfig.cmake ${CMAKE_BINARY_DIR}/cmake/velkanConfigVersion.cmake
  DESTINATION ${VELKAN_CMAKE_DIR} COMPONENT libvelkan-dev)

# --- Debian packages: cpack -G DEB in the build tree ----------------------
set(VELKAN_PACKAGE_MAINTAINER "velkan developers <dev@velkan.invalid>" CACHE STRING
  "Maintainer named in the Debian packages")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velkan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELKAN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL velkan libvelkan-dev)
if(TARGET velkan_gui)
  list(APPEND CPACK_COMPONENTS_ALL velkan-gui)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_VELKAN_PACKAGE_NAME velkan)
set(CPACK_DEBIAN_VELKAN_DESCRIPTION "converter of Japanese typesetting jobs into tagged text
velkan converts Japanese typesetting jobs written for an older
phototypesetting system (a stream of 16-bit code words, or a Shift_JIS
text with in-text commands) into tagged Shift_JIS text for a newer
composition system, byte for byte.

This package holds the command velkan (convert, dump, tables), a sample
set of tables of its own design derived from JIS X 0208 and JIS X 0201,
a sample definition file and the manual page.")
set(CPACK_DEBIAN_VELKAN-GUI_PACKAGE_NAME velkan-gui)
set(CPACK_DEBIAN_VELKAN-GUI_PACKAGE_SECTION text)
set(CPACK_DEBIAN_VELKAN-GUI_PACKAGE_DEPENDS "velkan (= ${PROJECT_VERSION})")
# Without a Japanese font every label of the dialog shows as empty boxes.
# Qt's own texts (the file dialogs, the buttons) in Japanese come from its
# translations.
set(CPACK_DEBIAN_VELKAN-GUI_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_DEBIAN_VELKAN-GUI_DESCRIPTION "desktop dialog of the velkan typesetting job converter
velkan-gui is one dialog over the velkan converter: the user-defined
format file, the input, the output and the definition file, the
composition direction, the unit and the warnings; the output can be
opened in an editor after the conversion.

The dialog's texts are Japanese: a Japanese font must be installed.")
set(CPACK_DEBIAN_LIBVELKAN-DEV_PACKAGE_NAME libvelkan-dev)
set(CPACK_DEBIAN_LIBVELKAN-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBVELKAN-DEV_PACKAGE_RECOMMENDS "velkan (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_LIBVELKAN-DEV_DESCRIPTION "static library of the velkan typesetting job converter
The conversion engine of velkan as a static library, for programs that
embed the converter: the job API headers and a CMake package
(find_package(velkan) gives the target velkan::velkan).

The package velkan brings the sample tables a conversion reads.")
# Manual pages go into a package compressed, the static library without its
# debugging sections, as Debian wants them.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/prepare_package.cmake)
include(CPack)
