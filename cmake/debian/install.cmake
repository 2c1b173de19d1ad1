# Run by cpack (CPACK_INSTALL_SCRIPTS) while it stages the Debian package:
# the files Debian wants of every package, at the places Debian's tools look
# for them, outside the product root under /opt. A plain `cmake --install`
# never runs this, so an installed tree holds the product alone.
# file(INSTALL) puts each absolute destination below $DESTDIR, cpack's staging
# directory.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(_src "${CPACK_TAXAPI_DEBIAN_DIR}")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The changelog's newest entry names the version being packaged: a release
# without its entry fails here rather than shipping a stale changelog.
file(STRINGS "${_src}/changelog" _head LIMIT_COUNT 1)
if(NOT _head MATCHES "^${CPACK_PACKAGE_NAME} \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog: the newest entry is not version ${CPACK_PACKAGE_VERSION}: ${_head}")
endif()
# Compressed as Debian wants it: best compression, no name or time stamp.
set(_gz "${CPACK_TOPLEVEL_DIRECTORY}/changelog.gz")
execute_process(COMMAND gzip -9nc "${_src}/changelog" OUTPUT_FILE "${_gz}" RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "cannot compress cmake/debian/changelog")
endif()

set(_doc "/usr/share/doc/${CPACK_PACKAGE_NAME}")
file(INSTALL "${_src}/copyright" "${_gz}" DESTINATION "${_doc}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL "${_src}/lintian-overrides" DESTINATION "/usr/share/lintian/overrides"
     RENAME "${CPACK_PACKAGE_NAME}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
