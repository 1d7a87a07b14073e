# Installation and the Debian package.
#   cmake --install BUILD --prefix PREFIX   puts the program, the manual and the examples under
#                                           PREFIX (default /usr/local);
#   cpack -G DEB  (in BUILD)                 builds quillon_VERSION_ARCH.deb, installing to /usr.
include(GNUInstallDirs)

install(TARGETS quillon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(QuillonManPage ${CMAKE_CURRENT_SOURCE_DIR}/docs/quillon.1)
if(EXISTS ${QuillonManPage})
  install(FILES ${QuillonManPage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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

set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "quillon developers")
set(CPACK_PACKAGE_CONTACT "quillon developers")
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
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "quillon developers")
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

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
include(CPack)
