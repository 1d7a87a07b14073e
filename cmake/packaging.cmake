# Installation and the Debian package.
#   cmake --install BUILD --prefix PREFIX   puts the program, the manual and the examples under
#                                           PREFIX (default /usr/local);
#   cpack -G DEB  (in BUILD)                 builds quillon_VERSION_ARCH.deb, installing to /usr;
#                                           the build must be configured with
#                                           -DCMAKE_INSTALL_PREFIX=/usr, so that the program
#                                           names the place its PDF manual is installed to.
include(GNUInstallDirs)
set(QuillonDebianDir ${CMAKE_CURRENT_LIST_DIR}/debian)

install(TARGETS quillon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The compiler's name and version (.comment, also from the C runtime's start files) is of no
# use in an installed program.
if(CMAKE_OBJCOPY)
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quillon\")")
endif()

if(QUILLON_MAN_PAGE)
  install(FILES ${QUILLON_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# Built by docs/CMakeLists.txt only where groff can write PDF; OPTIONAL so that an install
# from a tree that could not build it still succeeds.
if(QUILLON_MANUAL_PDF)
  install(FILES ${QUILLON_MANUAL_PDF} DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)
endif()
if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/examples)
  # source permissions keep a self-executing configuration file executable
  install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
          USE_SOURCE_PERMISSIONS)
endif()

# The licence goes with every installed copy, as Debian's machine-readable copyright file; it
# is written from LICENSE, so the two cannot drift apart.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE QuillonLicence)
string(REGEX REPLACE "\n+$" "" QuillonLicence "${QuillonLicence}")
string(REGEX REPLACE "^MIT License\n\nCopyright \\(c\\) [^\n]*\n\n" "" QuillonLicenceText
                     "${QuillonLicence}")
string(REGEX REPLACE "\n\n" "\n.\n" QuillonLicenceText "${QuillonLicenceText}")
string(REGEX REPLACE "\n" "\n " QuillonLicenceText "${QuillonLicenceText}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/copyright
     CONTENT "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: quillon
Upstream-Contact: quillon developers <quillon@example.org>

Files: *
Copyright: 2026 the quillon developers
License: Expat

License: Expat
 ${QuillonLicenceText}
" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
install(FILES ${PROJECT_BINARY_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The changelog, compressed without a time stamp so that the package is reproducible.
find_program(QUILLON_GZIP gzip)
if(QUILLON_GZIP)
  set(QuillonChangelog ${PROJECT_BINARY_DIR}/debian/changelog.gz)
  add_custom_command(
    OUTPUT ${QuillonChangelog}
    COMMAND ${QUILLON_GZIP} -9 -n -c ${QuillonDebianDir}/changelog > ${QuillonChangelog}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${QuillonChangelog}.tmp ${QuillonChangelog}
    DEPENDS ${QuillonDebianDir}/changelog
    COMMENT "Compressing the changelog")
  add_custom_target(changelog ALL DEPENDS ${QuillonChangelog})
  install(FILES ${QuillonChangelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
# Only the package carries lintian's overrides, and the registration of the PDF with doc-base.
install(FILES ${QuillonDebianDir}/quillon.lintian-overrides DESTINATION share/lintian/overrides
        RENAME quillon COMPONENT debian EXCLUDE_FROM_ALL)
if(QUILLON_MANUAL_PDF)
  install(FILES ${QuillonDebianDir}/doc-base DESTINATION share/doc-base RENAME quillon
          COMPONENT debian EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "quillon developers")
set(CPACK_PACKAGE_CONTACT "quillon developers <quillon@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert delimited text files (CSV) into XML documents")
set(CPACK_PACKAGE_DESCRIPTION
    "quillon turns one CSV file into one XML document, streaming, in five\n"
    "output layouts, with configurable separators, ISO-8859-1/Windows-1252 and\n"
    "UTF-8 transcoding, namespaces, DTD and XML Schema references, stylesheet\n"
    "instructions, element and attribute names, and record numbering.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_PACKAGE_NAME quillon)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "quillon developers <quillon@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
find_program(QUILLON_DPKG dpkg)
if(QUILLON_DPKG)
  execute_process(COMMAND ${QUILLON_DPKG} --print-architecture
                  OUTPUT_VARIABLE QuillonDebArch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(QuillonDebArch)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QuillonDebArch})
endif()
# The libraries the program links are found by dpkg-shlibdeps (package dpkg-dev); without it
# the dependencies of a plain C++ program are named by hand.
find_program(QUILLON_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILLON_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

# One package of both components: the program with its documents, and the overrides.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
set(CPACK_QUILLON_CONFIGURED_PREFIX ${CMAKE_INSTALL_PREFIX}) # for cpack_project.cmake

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
include(CPack)
