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

set(DKQ_PACKAGE_MAINTAINER "DKQ-1 suite developers <dkq-suite@veldmark.invalid>"
    CACHE STRING "The Maintainer field of the Debian packages")

# Three Debian packages, each an install component: dkq-collector for a
# server (no Qt at all), dkq-tools for scripts and test benches (Qt Core at
# most) and dkq-suite, the window programs. The top CMakeLists.txt says which
# folder installs into which.
set(CPACK_COMPONENTS_ALL collector tools)
if(DKQ_WINDOW_PROGRAMS)
  list(APPEND CPACK_COMPONENTS_ALL suite)
endif()

# Each package's copyright (DEP-5, naming the maintainer) and changelog (its
# newest entry names the project version).
configure_file(${PROJECT_SOURCE_DIR}/resources/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
if(NOT WIN32)
  set(changelog ${PROJECT_SOURCE_DIR}/resources/changelog)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND sh -c "gzip -9n < '${changelog}' > '${PROJECT_BINARY_DIR}/changelog.gz'"
    DEPENDS ${changelog}
    VERBATIM)
  add_custom_target(dkq_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
endif()
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(package dkq-${component})
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  set(documents ${CMAKE_INSTALL_DATADIR}/doc/${package})
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${documents} COMPONENT ${component})
  if(NOT WIN32)
    install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${documents}
            COMPONENT ${component})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME dkq-suite)
set(CPACK_PACKAGE_VENDOR Veldmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # dkq-collector_0.1_amd64.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DKQ_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # what dpkg-shlibdeps finds, per package
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_COLLECTOR_DESCRIPTION "DKQ-1 collector: readings uploaded by webmon
dkq-collector receives the readings that webmon uploads from the sites of
an installation of DKQ-1 field I/O modules, keeps them in SQLite or
PostgreSQL and serves them back as JSON, CSV, metrics and a dashboard page.
The package holds a hardened systemd service for it, not enabled.")
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_SECTION net)
# The dashboard draws its charts with Debian's dygraphs.
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_DEPENDS libjs-dygraphs)
# The settings file is the administrator's; the service's user is made on
# install, the running service stopped on removal.
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/collector/service/conffiles
    ${PROJECT_SOURCE_DIR}/collector/service/postinst
    ${PROJECT_SOURCE_DIR}/collector/service/prerm)

set(CPACK_DEBIAN_TOOLS_DESCRIPTION "DKQ-1 command-line tools and bus simulator
dkq gives scripts every operation of DKQ-1 field I/O modules, reached over
an RS-485 bus behind a serial port or over TCP: registers, configuration,
record memory, scans and polls. dkqsim simulates a bus of such modules on a
pseudo-terminal or a TCP port, with faults, for tests and training. Both
have menu entries that open them in a terminal.")

set(CPACK_DEBIAN_SUITE_DESCRIPTION "DKQ-1 window programs
Desktop programs for technicians who work next to an installation of DKQ-1
field I/O modules: multimon and webmon monitor and record modules (webmon
also uploads every reading to dkq-collector), modcfg edits a module's
configuration memory, DKQ-Logger empties its record memory. The programs
speak Polish.")
# The whole suite: with the window programs come dkq and dkqsim. Qt's
# platform plugins open the windows and without a font every letter is a box.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_SUITE_DEPENDS tools)
set(CPACK_DEBIAN_SUITE_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_SUITE_PACKAGE_RECOMMENDS qt6-translations-l10n)
include(CPack)
