# Writes one import library holding the imports of several DLLs, so that a
# program names one library and takes from each DLL what it uses. The file
# is replaced whole: a failed merge leaves the old one.
#   cmake -DAR=... -DOUTPUT=libA.dll.a -DLIBRARIES="libA.dll.a;libB.dll.a" -P MergeImportLibraries.cmake
set(script "CREATE ${OUTPUT}.part\n")
foreach(library IN LISTS LIBRARIES)
  string(APPEND script "ADDLIB ${library}\n")
endforeach()
string(APPEND script "SAVE\nEND\n")
file(WRITE ${OUTPUT}.mri "${script}")
file(REMOVE ${OUTPUT}.part)
execute_process(COMMAND ${AR} -M INPUT_FILE ${OUTPUT}.mri COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${OUTPUT}.part ${OUTPUT})
