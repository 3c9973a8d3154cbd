# Installing like any Linux program: manual pages made from their scdoc
# sources, the package's documents, and the Debian package (scripts/package
# runs cpack -G DEB on a built tree).

find_program(DKQ_SCDOC scdoc)
if(NOT DKQ_SCDOC AND NOT WIN32)
  message(STATUS "scdoc not found: the manual pages are left out (scripts/setup --test installs it)")
endif()

# A program's manual page, written in scdoc beside the program: made at build
# time and installed gzip-compressed, as Debian keeps them.
#   dkq_manual_page(dkq.1.scd)
function(dkq_manual_page source)
  if(NOT DKQ_SCDOC)
    return()
  endif()
  get_filename_component(page ${source} NAME_WLE)  # dkq.1
  string(REGEX MATCH "[1-9]$" section ${page})
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${page})
  add_custom_command(OUTPUT ${output}.gz
    COMMAND sh -c "'${DKQ_SCDOC}' < '${CMAKE_CURRENT_SOURCE_DIR}/${source}' > '${output}'"
    COMMAND gzip -9nf ${output}
    DEPENDS ${source}
    COMMENT "Making the manual page ${page}"
    VERBATIM)
  add_custom_target(manual_page_${page} ALL DEPENDS ${output}.gz)
  install(FILES ${output}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()

# The package's copyright and changelog (resources/; the changelog's newest
# entry names the project version).
set(DKQ_PACKAGE_NAME dkq-suite)
set(documents ${CMAKE_INSTALL_DATADIR}/doc/${DKQ_PACKAGE_NAME})
install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright DESTINATION ${documents})
if(NOT WIN32)
  set(changelog ${PROJECT_SOURCE_DIR}/resources/changelog)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND sh -c "gzip -9n < '${changelog}' > '${PROJECT_BINARY_DIR}/changelog.gz'"
    DEPENDS ${changelog}
    VERBATIM)
  add_custom_target(dkq_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${documents})
endif()

set(DKQ_PACKAGE_MAINTAINER "DKQ-1 suite developers <dkq-suite@veldmark.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${DKQ_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR Veldmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programs for DKQ-1 field I/O modules")
set(CPACK_PACKAGE_DESCRIPTION
    "Desktop programs for technicians who work next to an installation of DKQ-1
field I/O modules, reached over an RS-485 bus behind a serial port or over TCP:
multimon and webmon monitor and record modules (webmon also uploads every
reading to a web server), modcfg edits a module's configuration memory,
DKQ-Logger empties its record memory. dkq gives scripts every module
operation, dkqsim simulates a bus of modules and dkq-collector receives the
uploads into SQLite or PostgreSQL. The window programs speak Polish.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # dkq-suite_0.1_amd64.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DKQ_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not name: Qt's platform plugins open the windows,
# without a font every letter is a box, and dkq-collector's page draws its
# charts with Debian's dygraphs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, libjs-dygraphs")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
