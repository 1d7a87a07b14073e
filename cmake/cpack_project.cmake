# Read by cpack. The Debian package installs below /usr, so the program in it must have been
# configured for /usr: it names the place of its PDF manual from the prefix.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_QUILLON_CONFIGURED_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "quillon: the Debian package installs below /usr, but this build is "
                      "configured for ${CPACK_QUILLON_CONFIGURED_PREFIX}; configure it with "
                      "-DCMAKE_INSTALL_PREFIX=/usr")
endif()
