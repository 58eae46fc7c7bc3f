# How the inline members of the module's exported classes (the string's, the
# node's, and those of the container instantiations) reach its export table.
#
# An inline member is compiled where a caller uses it; a host that calls one
# rather than inlining it must find it exported by this module.
#
# - Linux: the classes are marked with default visibility, so every inline
#   member that an object of the module defines out of line is exported.
#   GCC is asked to define every inline member of the string
#   (-fkeep-inline-functions on the one source that exists for that); the
#   standard library's inline functions it defines along with them are kept
#   local by a version script. Clang has no such switch: its builds (the
#   fuzzers) export what their objects happen to define.
# - Windows: a DLL exports only what is marked __declspec(dllexport), and
#   GCC exports no inline member that way, whatever its class's marking
#   says. Before the link, this file, run as a script, lists every function
#   defined in the named objects in a module-definition file (standard
#   library functions left out), and the link exports them from there.
#
#   zelbas_export_inline_members(TARGET KEEP source FROM source...)
#     KEEP: the source compiled with -fkeep-inline-functions (GCC);
#     FROM: the sources whose objects' functions a DLL exports.

if(CMAKE_SCRIPT_MODE_FILE)
  # cmake -DNM=... -DOUTPUT=file.def -DOBJECTS="a.obj;b.obj" -P InlineExports.cmake
  set(names)
  foreach(object IN LISTS OBJECTS)
    execute_process(COMMAND ${NM} -g --defined-only ${object} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "[^\n]+ T [^\n]+" lines "${symbols}")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^.* T " "" name "${line}")
      # The standard library's own inline functions stay its own.
      if(NOT name MATCHES "^_ZN?K?St")
        list(APPEND names "${name}")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  list(JOIN names "\n" text)
  file(WRITE ${OUTPUT} "EXPORTS\n${text}\n")
  return()
endif()

function(zelbas_export_inline_members target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "KEEP" "FROM")
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set_source_files_properties(${arg_KEEP} PROPERTIES COMPILE_OPTIONS -fkeep-inline-functions)
    if(NOT WIN32)
      set(map ${CMAKE_CURRENT_BINARY_DIR}/std-local.map)
      file(WRITE ${map} "{\n  local:\n    _ZSt*;\n    _ZNSt*;\n    _ZNKSt*;\n    _ZN9__gnu_cxx*;\n    _ZNK9__gnu_cxx*;\n};\n")
      target_link_options(${target} PRIVATE -Wl,--version-script=${map})
      set_target_properties(${target} PROPERTIES LINK_DEPENDS ${map})
    endif()
  endif()
  if(WIN32)
    set(names)
    foreach(source IN LISTS arg_FROM)
      get_filename_component(name ${source} NAME_WE)
      list(APPEND names ${name})
    endforeach()
    list(JOIN names "|" pattern)
    set(def ${CMAKE_CURRENT_BINARY_DIR}/inline-exports.def)
    add_custom_command(TARGET ${target} PRE_LINK
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DOUTPUT=${def}
              "-DOBJECTS=$<FILTER:$<TARGET_OBJECTS:${target}>,INCLUDE,/(${pattern})\\.cpp>"
              -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      VERBATIM)
    target_link_options(${target} PRIVATE ${def})
  endif()
endfunction()
