# Writes a module-definition file that exports every function defined in the
# given objects (GCC exports no inline function from a DLL, whatever its
# class's marking says).
#   cmake -DNM=... -DOUTPUT=file.def -DOBJECTS="a.obj;b.obj" -P InlineExports.cmake
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
