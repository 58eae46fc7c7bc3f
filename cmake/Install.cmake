# Installation: the module and the five platform modules it links, their
# public headers, the zelbasxml command, and the two ways other builds find
# them: a CMake package (find_package(ZELBasXmlDocument CONFIG)) and a
# pkg-config file.
#
# Components: "Runtime" holds the shared libraries, the command and its
# manual page, "Development" the headers, the name links, the package files,
# the documents and the examples.
include(CMakePackageConfigHelpers)

set(ZELBAS_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZELBasXmlDocument)
set(ZELBAS_MODULES ZELBasXmlParser ZELBasShared ZELBasGenericsLib ZELBasCoreUtils ZELBasAlloc)
set(ZELBAS_LIBRARIES ZELBasXmlDocument ${ZELBAS_MODULES})

# Imported as ZELBas::XmlDocument, ZELBas::XmlParser, ... Each library finds
# the others beside it, wherever the prefix is moved.
foreach(library IN LISTS ZELBAS_LIBRARIES)
  string(REGEX REPLACE "^ZELBas" "" exportName ${library})
  set_target_properties(${library} PROPERTIES EXPORT_NAME ${exportName} INSTALL_RPATH "$ORIGIN")
endforeach()
# The same name inside this build, for the examples.
add_library(ZELBas::XmlDocument ALIAS ZELBasXmlDocument)

# A program that calls the string's inline members calls the core module
# itself, so `-lZELBasXmlDocument` alone would leave it unlinked ("DSO
# missing from command line"). With GNU ld the library's name link is
# therefore a linker script, as glibc's libc.so is: the library, and each
# module it builds on where the program uses it directly. The versioned
# files are the same either way, and the CMake package links them directly.
set(namelinked ${ZELBAS_LIBRARIES})
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(namelinked ${ZELBAS_MODULES})
  install(TARGETS ZELBasXmlDocument EXPORT ZELBasXmlDocumentTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_SKIP)
  set(modules)
  foreach(module IN LISTS ZELBAS_MODULES)
    list(APPEND modules "$<TARGET_SONAME_FILE_NAME:${module}>")
  endforeach()
  list(JOIN modules " " modules)
  set(script ${PROJECT_BINARY_DIR}/namelink/libZELBasXmlDocument.so)
  file(GENERATE OUTPUT ${script} CONTENT
    "/* GNU ld script: the library, and the modules it builds on where used. */
INPUT($<TARGET_SONAME_FILE_NAME:ZELBasXmlDocument> AS_NEEDED(${modules}))
")
  install(FILES ${script} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
endif()
install(TARGETS ${namelinked} EXPORT ZELBasXmlDocumentTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
install(TARGETS zelbasxml RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)

if(WIN32)
  # The same one link line with import libraries: libZELBasXmlDocument.dll.a
  # carries the modules' imports too, and a program takes from each DLL only
  # what it uses. The library's own import library has a name of its own,
  # which the CMake package uses: installed under the same name, the merged
  # file would be skipped as up to date whenever both were made within the
  # same second.
  set_target_properties(ZELBasXmlDocument PROPERTIES IMPORT_SUFFIX ".own.dll.a")
  set(implibs)
  foreach(library IN LISTS ZELBAS_LIBRARIES)
    list(APPEND implibs "$<TARGET_LINKER_FILE:${library}>")
  endforeach()
  set(merged ${PROJECT_BINARY_DIR}/namelink/libZELBasXmlDocument.dll.a)
  add_custom_command(OUTPUT ${merged}
    COMMAND ${CMAKE_COMMAND} -DAR=${CMAKE_AR} -DOUTPUT=${merged} "-DLIBRARIES=${implibs}"
            -P ${CMAKE_CURRENT_LIST_DIR}/MergeImportLibraries.cmake
    DEPENDS ${implibs} ${CMAKE_CURRENT_LIST_DIR}/MergeImportLibraries.cmake VERBATIM)
  add_custom_target(merged_import_library ALL DEPENDS ${merged})
  install(FILES ${merged} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

  # What the DLLs need at run time beside each other: the compiler's
  # runtime DLLs (shared, not linked into each module: one C++ runtime for
  # the seven modules and the host, whose exceptions, std::bad_alloc
  # above all, cross the modules' boundaries) and Expat's. Expat's import
  # library and headers too, so that the CMake package finds it in the
  # install; and the licences of all of them.
  install(FILES ${ZELBAS_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  install(FILES ${EXPAT_LIBRARY} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
  install(FILES ${ZELBAS_DEPS_PREFIX}/include/expat.h ${ZELBAS_DEPS_PREFIX}/include/expat_external.h
    DESTINATION ${ZELBAS_INSTALL_INCLUDEDIR} COMPONENT Development)
  install(DIRECTORY ${ZELBAS_DEPS_PREFIX}/share/licenses/
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/licenses COMPONENT Runtime)
endif()

# The command's manual page, compressed as Debian installs manual pages.
if(NOT WIN32)
  find_program(ZELBAS_GZIP gzip REQUIRED)
  set(manpage ${PROJECT_BINARY_DIR}/man/zelbasxml.1)
  add_custom_command(OUTPUT ${manpage}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/zelbasxml.1 ${manpage}
    COMMAND ${ZELBAS_GZIP} -9nf ${manpage}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/zelbasxml.1 VERBATIM)
  add_custom_target(manpage ALL DEPENDS ${manpage}.gz)
  install(FILES ${manpage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
endif()

# All public headers side by side in one folder of their own, as the
# targets' install include path says: `#include "ZELBasXmlDocument.h"` with
# that folder on the path, or <ZELBasXmlDocument/ZELBasXmlDocument.h>
# without it (the headers include each other by quotes, found beside).
install(DIRECTORY
    ${PROJECT_SOURCE_DIR}/include/
    ${PROJECT_SOURCE_DIR}/platform/common/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasAlloc/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasCoreUtils/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasGenericsLib/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasShared/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasXmlParser/include/
  DESTINATION ${ZELBAS_INSTALL_INCLUDEDIR} COMPONENT Development
  FILES_MATCHING PATTERN "*.h")

# CMake package.
install(EXPORT ZELBasXmlDocumentTargets NAMESPACE ZELBas::
  DESTINATION ${ZELBAS_INSTALL_CMAKEDIR} COMPONENT Development)
set(ZELBAS_BUNDLES_EXPAT OFF)
if(WIN32)
  set(ZELBAS_BUNDLES_EXPAT ON)
  get_filename_component(ZELBAS_EXPAT_IMPLIB ${EXPAT_LIBRARY} NAME)
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZELBasXmlDocumentConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZELBasXmlDocumentConfig.cmake
  INSTALL_DESTINATION ${ZELBAS_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZELBasXmlDocumentConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/ZELBasXmlDocumentConfig.cmake
    ${PROJECT_BINARY_DIR}/ZELBasXmlDocumentConfigVersion.cmake
  DESTINATION ${ZELBAS_INSTALL_CMAKEDIR} COMPONENT Development)

# pkg-config file. Its prefix is found from the file's own place, so the
# installed tree can be moved (and packaged under another prefix) as a whole.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(ZELBAS_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(ZELBAS_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(ZELBAS_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}/ZELBasXmlDocument")
else()
  file(RELATIVE_PATH up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" up "${up}")
  set(ZELBAS_PC_PREFIX "\${pcfiledir}/${up}")
  set(ZELBAS_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(ZELBAS_PC_INCLUDEDIR "\${prefix}/${ZELBAS_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ZELBasXmlDocument.pc.in
  ${PROJECT_BINARY_DIR}/ZELBasXmlDocument.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ZELBasXmlDocument.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# Documentation laid out as in the source tree, so that its links hold, and
# the examples' sources, which build against the installed package as they
# are.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT Development
  FILES_MATCHING PATTERN "*.md")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT Development)
