# Stops the configure step when the Expat found crashes on a long chain of
# nested entities: before its fix, Expat expands them by recursion and a
# hostile document of a few megabytes overflows the stack of any program
# reading it. ExpatEntityChain.c reads such a chain in a child process; a
# pass is remembered until the library file or that program changes.
#
# A cross build skips it: its Expat is built by scripts/windows.sh from the
# Debian revision the native build links and checks, and the tests read the
# chain under the emulator.
option(ZELBAS_CHECK_EXPAT "Stop when the Expat found crashes on a long chain of nested entities" ON)

# In a function, so that its variables stay its own.
function(zelbas_check_expat)
  if(NOT ZELBAS_CHECK_EXPAT)
    message(STATUS "Expat check: skipped (ZELBAS_CHECK_EXPAT is OFF)")
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    message(STATUS "Expat check: skipped in a cross build")
    return()
  endif()

  set(program ${CMAKE_CURRENT_LIST_DIR}/ExpatEntityChain.c)
  get_filename_component(library "${EXPAT_LIBRARY}" REALPATH)
  file(SHA256 "${library}" library_hash)
  file(SHA256 "${program}" program_hash)
  set(checked "${library} ${library_hash} ${program_hash}")
  if(ZELBAS_EXPAT_CHECKED STREQUAL checked)
    return()
  endif()

  find_package(Threads REQUIRED)
  try_run(run_result compile_result SOURCES ${program} NO_CACHE
          LINK_LIBRARIES EXPAT::EXPAT Threads::Threads
          COMPILE_OUTPUT_VARIABLE compile_output RUN_OUTPUT_VARIABLE run_output)
  string(STRIP "${run_output}" run_output)
  if(NOT compile_result)
    message(FATAL_ERROR "Expat check: ${program} does not build against ${library}:\n${compile_output}\n"
            "Configure with -DZELBAS_CHECK_EXPAT=OFF to skip the check.")
  endif()
  if(NOT run_result STREQUAL "0")
    message(FATAL_ERROR
            "The Expat found (${library}) crashes on a document of 200,000 nested entities "
            "(the check's child process ended with: ${run_result} ${run_output}). "
            "A hostile document would crash every program reading XML with this library.\n"
            "Update Expat to a patched release. On Debian the fix is in the security suite:\n"
            "  apt-get update && apt-get install libexpat1 libexpat1-dev\n"
            "(scripts/bootstrap.sh does this). To build with this Expat anyway, configure with "
            "-DZELBAS_CHECK_EXPAT=OFF.")
  endif()
  message(STATUS "Expat check: a chain of 200,000 nested entities, ${run_output}")
  set(ZELBAS_EXPAT_CHECKED "${checked}" CACHE INTERNAL "The Expat that read the nested entities without crashing")
endfunction()
zelbas_check_expat()
