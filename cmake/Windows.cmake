# Windows (MinGW-w64): every DLL and program in one folder, where the loader
# looks first for a program's DLLs, together with the compiler's runtime
# DLLs and Expat's. The libraries carry the module's own name, without the
# "lib" that MinGW would put in front of it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_SHARED_LIBRARY_PREFIX "")

set(ZELBAS_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know ${dll}")
  endif()
  list(APPEND ZELBAS_RUNTIME_DLLS ${path})
endforeach()
# Expat's import library is in lib/, its DLL in bin/ of the same prefix,
# where scripts/windows.sh also puts the licences of what the install
# carries (share/licenses/NAME/).
get_filename_component(ZELBAS_DEPS_PREFIX ${EXPAT_LIBRARY} DIRECTORY)
get_filename_component(ZELBAS_DEPS_PREFIX ${ZELBAS_DEPS_PREFIX} DIRECTORY)
file(GLOB expat_dll ${ZELBAS_DEPS_PREFIX}/bin/libexpat*.dll)
if(NOT expat_dll)
  message(FATAL_ERROR "no Expat DLL beside ${EXPAT_LIBRARY}")
endif()
list(APPEND ZELBAS_RUNTIME_DLLS ${expat_dll})
file(COPY ${ZELBAS_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
