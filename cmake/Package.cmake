# Packages: on Windows a ZIP archive (below); on Linux Debian packages, made
# with `cpack -G DEB` in the build directory:
#   zelbasxmldocument      the shared libraries, the zelbasxml command and its
#                          manual page
#   zelbasxmldocument-dev  headers, CMake package, pkg-config file, documents,
#                          examples
set(ZELBAS_PACKAGE_MAINTAINER "ZELBasXmlDocument maintainers <zelbas-maintainers@example.org>"
  CACHE STRING "Maintainer named in the Debian packages")

# On Windows, `cpack -G ZIP`: one archive of the whole install (bin/, lib/,
# include/, share/), which a user unpacks anywhere.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_PACKAGE_NAME zelbasxmldocument)
set(CPACK_PACKAGE_VENDOR "ZELBas")
set(CPACK_PACKAGE_CONTACT "${ZELBAS_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZELBAS_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on libc, libstdc++ and libexpat1 come from the binaries; the
# libraries get a shlibs file (and so ldconfig runs on install and removal).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME zelbasxmldocument)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Each description's first line is the package's summary.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "XML document library over Expat, and the zelbasxml command
ZELBasXmlDocument reads XML text from a file or a string into an in-memory
tree of element nodes, builds and searches such trees, and writes a tree
back out as indented XML text. This package holds the shared library, the
five modules it links (memory, core utilities, generic containers, shared
file access, parser) and the zelbasxml command, which formats XML documents
and finds elements in them.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME zelbasxmldocument-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The CMake package looks for Expat, and the parser module's header includes it.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS libexpat1-dev)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "XML document library over Expat (development files)
ZELBasXmlDocument reads XML text from a file or a string into an in-memory
tree of element nodes, builds and searches such trees, and writes a tree
back out as indented XML text. This package holds the headers, the CMake
package (find_package(ZELBasXmlDocument CONFIG), target ZELBas::XmlDocument),
the pkg-config file ZELBasXmlDocument.pc and example programs.")

# Each package's copyright file, in Debian's machine-readable format, made
# from LICENSE. Only the packages hold these (a component install puts them
# in place); `cmake --install` installs LICENSE with the documents.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" holder "${license}")
set(holder "${CMAKE_MATCH_1}")
string(STRIP "${license}" license)
string(REPLACE "\n" "\n " license "${license}")
string(REPLACE "\n \n" "\n .\n" license "${license}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}

Files: *
Copyright: ${holder}
Comment: The MIT license, which Debian names Expat.
License: Expat
 ${license}
")
install(FILES ${PROJECT_BINARY_DIR}/copyright EXCLUDE_FROM_ALL
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} COMPONENT Runtime)
install(FILES ${PROJECT_BINARY_DIR}/copyright EXCLUDE_FROM_ALL
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME} COMPONENT Development)

include(CPack)
