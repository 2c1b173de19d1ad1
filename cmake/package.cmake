# The Debian package: `cpack -G DEB` in the build directory. It installs the
# tree of cmake/install.cmake under /opt/taxapi, a product root of its own
# (QSE=/opt/taxapi finds the engine libraries in /opt/taxapi/shlib).
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "taxapi")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "taxapi maintainers")
set(CPACK_PACKAGE_CONTACT "taxapi maintainers <taxapi@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "taxapi maintainers <taxapi@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/taxapi")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tax API process between an ERP runtime and a tax engine")
set(CPACK_PACKAGE_DESCRIPTION
"taxapi is the server process an ERP runtime starts once per user to have
taxes calculated and addresses looked up by an external tax engine. It talks
to the ERP over a pair of System V message queues in tilde-delimited text
messages and loads the engine (Taxware or Vertex) at run time as shared
libraries.
.
The package holds taxapi, the ERP-side command line taxapi-client (engine
checks, request replay, error code explanations), stand-in engine libraries
with sample data for trying the installation, and the manual pages.")
# Debian's own files, which lie outside the product root: the copyright file
# and changelog every package carries, and lintian's overrides, each where
# Debian's tools look for it (see cmake/debian/install.cmake; only cpack
# installs them).
set(CPACK_TAXAPI_DEBIAN_DIR "${PROJECT_SOURCE_DIR}/cmake/debian")
set(CPACK_INSTALL_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/debian/install.cmake")
include(CPack)
