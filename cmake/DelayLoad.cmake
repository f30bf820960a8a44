# Delay-loaded system DLLs. The module is mapped into every process that opens a file dialog; a DLL that only
# a rare command needs (WinINet for the update check, MPR for network connections) is loaded by the first call
# into it instead of with the module.
#
# qv_delay_import_library(<target> <dll name> <import library name>): an imported library <target> that
# resolves the same functions as MinGW's import library lib<import library name>.a, through delay-load thunks
# (dlltool --output-delaylib) instead of the import table. The function list is read from MinGW's own import
# library, so it names exactly what linking that library would, with the i686 stdcall decoration (@n) kept
# on the symbols and taken off the names looked up in the DLL.
find_program(QV_DLLTOOL ${QV_MINGW_PREFIX}-dlltool REQUIRED)
find_program(QV_NM ${QV_MINGW_PREFIX}-nm REQUIRED)
set(QV_DELAY_FOLDER "${CMAKE_BINARY_DIR}/delayimp")
file(MAKE_DIRECTORY "${QV_DELAY_FOLDER}")

function(qv_delay_import_library target dll name)
  find_library(QV_IMPLIB_${name} ${name} REQUIRED)
  set(import_library "${QV_IMPLIB_${name}}")
  set(def "${QV_DELAY_FOLDER}/${name}.def")
  set(library "${QV_DELAY_FOLDER}/lib${name}-delay.a")
  if(NOT EXISTS "${library}" OR "${import_library}" IS_NEWER_THAN "${library}"
     OR "${CMAKE_CURRENT_FUNCTION_LIST_FILE}" IS_NEWER_THAN "${library}")
    # Each function has a thunk (a defined code symbol) beside its __imp_ pointer: i686 names carry C's
    # leading underscore, x86_64 names none.
    execute_process(COMMAND "${QV_NM}" --defined-only "${import_library}" OUTPUT_VARIABLE symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    if(QV_ARCH STREQUAL "i686")
      set(pattern "[0-9a-f]+ T _([A-Za-z0-9_@?$]+)")
    else()
      set(pattern "[0-9a-f]+ T ([A-Za-z0-9_@?$]+)")
    endif()
    string(REGEX MATCHALL "${pattern}" lines "${symbols}")
    set(exports "")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "${pattern}" "\\1" function "${line}")
      list(APPEND exports "    ${function}")
    endforeach()
    list(REMOVE_DUPLICATES exports)
    list(LENGTH exports count)
    if(count EQUAL 0)
      message(FATAL_ERROR "No functions found in ${import_library}")
    endif()
    list(JOIN exports "\n" exports)
    file(WRITE "${def}" "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
    execute_process(COMMAND "${QV_DLLTOOL}" --kill-at --input-def "${def}" --dllname "${dll}"
                            --output-delaylib "${library}"
                    RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
      message(FATAL_ERROR "dlltool could not make the delay-load library for ${dll}: ${error}")
    endif()
  endif()
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION "${library}")
endfunction()
