# Finds libzstd: zstd_FOUND and the imported target zstd::zstd.
find_path(zstd_INCLUDE_DIR NAMES zstd.h zstd_errors.h)
find_library(zstd_LIBRARY NAMES zstd)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(zstd REQUIRED_VARS zstd_LIBRARY zstd_INCLUDE_DIR)
if(zstd_FOUND AND NOT TARGET zstd::zstd)
  add_library(zstd::zstd UNKNOWN IMPORTED)
  set_target_properties(zstd::zstd PROPERTIES IMPORTED_LOCATION ${zstd_LIBRARY}
                                              INTERFACE_INCLUDE_DIRECTORIES ${zstd_INCLUDE_DIR})
endif()
mark_as_advanced(zstd_INCLUDE_DIR zstd_LIBRARY)
