# Delay-loaded system DLLs.
#
# The launcher's copy runs from %TEMP%, where any program can drop a DLL beside
# it. DLLs that Windows does not always load from the system folder (the
# KnownDLLs) must therefore not appear in the static import table: they are
# delay-loaded, so they load on first use, after the entry point has
# restricted the DLL search to the system folder.
#
# hs_delay_import_library(<dll> <out-var>) makes a delay-import library for
# <dll> (for example gdiplus) out of every function that MinGW's own import
# library exports, and returns its path in <out-var>.

set(HS_MINGW_LIB_DIR /usr/x86_64-w64-mingw32/lib)

function(hs_delay_import_library dll out_var)
  set(dir ${CMAKE_BINARY_DIR}/delayimp)
  set(def ${dir}/${dll}.def)
  set(lib ${dir}/lib${dll}_delay.a)
  set(import_lib ${HS_MINGW_LIB_DIR}/lib${dll}.a)
  if(NOT EXISTS ${import_lib})
    message(FATAL_ERROR "No MinGW import library for ${dll}: ${import_lib}")
  endif()
  if(NOT EXISTS ${lib} OR ${import_lib} IS_NEWER_THAN ${lib})
    file(MAKE_DIRECTORY ${dir})
    execute_process(COMMAND ${HS_NM} --defined-only ${import_lib}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "nm failed on ${import_lib}")
    endif()
    # Every imported function has an "__imp_<name>" pointer in the import library.
    string(REGEX MATCHALL "[ \t]I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
    set(exports "")
    foreach(entry IN LISTS imports)
      string(REGEX REPLACE "^[ \t]I __imp_" "" name "${entry}")
      string(APPEND exports "${name}\n")
    endforeach()
    file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n${exports}")
    execute_process(COMMAND ${HS_DLLTOOL} --input-def ${def} --output-delaylib ${lib}
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "dlltool could not make the delay-import library for ${dll}")
    endif()
  endif()
  set(${out_var} ${lib} PARENT_SCOPE)
endfunction()
