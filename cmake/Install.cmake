# Installation: the module and the five stand-in modules it links, their
# public headers, the zelbasxml command, and the two ways other builds find
# them: a CMake package (find_package(ZELBasXmlDocument CONFIG)) and a
# pkg-config file.
#
# Components: "Runtime" holds the shared libraries and the command,
# "Development" the headers, the name links, the package files and the
# examples.
include(CMakePackageConfigHelpers)

set(ZELBAS_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZELBasXmlDocument)
set(ZELBAS_LIBRARIES
  ZELBasXmlDocument ZELBasXmlParser ZELBasShared ZELBasGenericsLib ZELBasCoreUtils ZELBasAlloc)

# Imported as ZELBas::XmlDocument, ZELBas::XmlParser, ... Each library finds
# the others beside it, wherever the prefix is moved.
foreach(library IN LISTS ZELBAS_LIBRARIES)
  string(REGEX REPLACE "^ZELBas" "" exportName ${library})
  set_target_properties(${library} PROPERTIES EXPORT_NAME ${exportName} INSTALL_RPATH "$ORIGIN")
endforeach()
# The same name inside this build, for the examples.
add_library(ZELBas::XmlDocument ALIAS ZELBasXmlDocument)

install(TARGETS ${ZELBAS_LIBRARIES} EXPORT ZELBasXmlDocumentTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
install(TARGETS zelbasxml RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)

# All public headers side by side, as the targets' install include path says.
install(DIRECTORY
    ${PROJECT_SOURCE_DIR}/include/
    ${PROJECT_SOURCE_DIR}/platform/common/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasAlloc/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasCoreUtils/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasGenericsLib/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasShared/include/
    ${PROJECT_SOURCE_DIR}/platform/ZELBasXmlParser/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development
  FILES_MATCHING PATTERN "*.h")

# CMake package.
install(EXPORT ZELBasXmlDocumentTargets NAMESPACE ZELBas::
  DESTINATION ${ZELBAS_INSTALL_CMAKEDIR} COMPONENT Development)
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
  set(ZELBAS_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" up "${up}")
  set(ZELBAS_PC_PREFIX "\${pcfiledir}/${up}")
  set(ZELBAS_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(ZELBAS_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ZELBasXmlDocument.pc.in
  ${PROJECT_BINARY_DIR}/ZELBasXmlDocument.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ZELBasXmlDocument.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# Documentation and the examples' sources, which build against the installed
# package as they are.
install(FILES
    ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    ${PROJECT_SOURCE_DIR}/docs/format.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
    ${PROJECT_SOURCE_DIR}/docs/module-lifecycle.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT Development)
