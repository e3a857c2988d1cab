# Makes a delay-import library of a system DLL from the toolchain's import
# library: every function it exports, bound at the first call.
#   cmake -DNM=... -DDLLTOOL=... -DIMPORT=libole32.a -DDLL=ole32.dll
#         -DUNDERSCORE=ON|OFF -DOUT=libole32.a -P windows_delay_import.cmake
# UNDERSCORE: the 32-bit names (_Name@N), whose exports are undecorated.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" functions "${symbols}")
set(names)
foreach(line ${functions})
  string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${line}")
  if(UNDERSCORE)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  list(APPEND names ${name})
endforeach()
list(REMOVE_DUPLICATES names)
list(JOIN names "\n" exports)
set(def "LIBRARY ${DLL}\nEXPORTS\n${exports}\n")
file(WRITE ${OUT}.def "${def}")
set(kill)
if(UNDERSCORE)
  set(kill --kill-at)
endif()
execute_process(COMMAND ${DLLTOOL} --input-def ${OUT}.def --dllname ${DLL} ${kill}
                        --output-delaylib ${OUT} COMMAND_ERROR_IS_FATAL ANY)
