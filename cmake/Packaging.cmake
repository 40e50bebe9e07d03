# Installing and packaging: `cmake --install` puts the programs, the default substance lists, the
# desktop entry, the icon, the manual pages and the documentation under the prefix; CPack's DEB
# generator turns the same rules into korvat_<version>_amd64.deb (scripts/package).
#
# The installed program finds its default lists in <prefix>/share/korvat beside <prefix>/bin and
# then keeps the user's settings in the user's folders (src/shell/ProgramFolders.h).

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(packaging_dir ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(packaging_out ${CMAKE_CURRENT_BINARY_DIR}/packaging)
find_program(KORVAT_GZIP gzip REQUIRED)

# Every program that is built here is installed with its manual page (packaging/man/<name>.1).
# korvat-report belongs to this list: once its target exists it is installed like the others and
# needs its page.
set(KORVAT_PROGRAMS korvat korvat-eval korvat-sim korvat-report korvat-archive)
set(compressed)
foreach(program IN LISTS KORVAT_PROGRAMS)
  if(NOT TARGET ${program})
    continue()
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Relocations read-only once loaded, as Debian builds its programs.
  target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
  set(page ${packaging_dir}/man/${program}.1)
  if(NOT EXISTS ${page})
    message(FATAL_ERROR "${program} is installed but has no manual page ${page}")
  endif()
  list(APPEND compressed ${page}=man1/${program}.1.gz)
endforeach()
list(APPEND compressed ${packaging_dir}/changelog=doc/changelog.gz)

# gzip -n: no name and no time stamp inside, so the package is the same from build to build.
set(compressed_outputs)
foreach(pair IN LISTS compressed)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  set(output ${packaging_out}/${target})
  get_filename_component(output_dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND sh -c "${KORVAT_GZIP} -9n -c \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source} VERBATIM)
  list(APPEND compressed_outputs ${output})
endforeach()
add_custom_target(korvat_packaging_files ALL DEPENDS ${compressed_outputs})

install(DIRECTORY ${packaging_out}/man1 DESTINATION ${CMAKE_INSTALL_MANDIR})
install(FILES resources/CH-Substanzen.txt resources/S-Substanzen.txt
  DESTINATION ${CMAKE_INSTALL_DATADIR}/korvat)
install(FILES ${packaging_dir}/korvat.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# What software centres show of the program (AppStream).
install(FILES ${packaging_dir}/korvat.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_dir}/korvat.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The substance lists are data the program reads, not documentation, whatever their extension.
install(FILES ${packaging_dir}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME korvat)
# The licence: Debian's copyright file, which points at the GPL-3 text every system has in
# /usr/share/common-licenses (a second copy of the text is what lintian warns about).
install(FILES README.md ${packaging_dir}/copyright ${packaging_out}/doc/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- the Debian package --------------------------------------------------------------------------
set(KORVAT_PACKAGE_MAINTAINER "KORVAT-PC developers <korvat-pc@example.org>" CACHE STRING
  "Maintainer field of the Debian package")
file(STRINGS ${packaging_dir}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^korvat \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog does not start with an entry for ${PROJECT_VERSION}; "
    "scripts/package refuses to build the package until it does")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvat)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KORVAT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the shared libraries the programs link (dpkg-shlibdeps), never by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialog texts in German; without them the program works with those texts in English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# Qt loads its SQL drivers as plugins, which dpkg-shlibdeps cannot see: the archive's SQLite driver
# is needed, the PostgreSQL one only for a lab's server.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator program of a permeation test instrument")
# The long description; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION "KORVAT-PC drives a permeation test instrument that tests gloves and protective
clothing against chemicals. It flushes up to three sample cells and three
reference positions with carrier gas, injects each position's gas into the FID
(and FPD) detector, draws the signal live, integrates the peak, turns it into
ppm and a permeation rate, switches a cell off once it breaks through (ASTM F
739 or EN 16523) and records every measurement in a results file.
.
The package holds the program (korvat), the batch re-evaluation of stored
measurements (korvat-eval), the test report of a results file as a PDF
(korvat-report), the lab's archive of tests with its chemical resistance chart
(korvat-archive) and a virtual instrument on pseudo-terminals for trying the
program without the hardware (korvat-sim).")
include(CPack)
