# Delay-loaded system DLLs.
#
# The launcher's copy runs from %TEMP%, where any program can drop a DLL beside
# it. DLLs that Windows does not always load from the system folder (the
# KnownDLLs) must therefore not appear in the static import table: they are
# delay-loaded, so they load on first use, after the entry point has
# restricted the DLL search to the system folder.
#
# dlltool's delay-import library has one shared tail that every first call
# goes through; it keeps the integer argument registers across the load and
# nothing else, so a first call taking a float or a double (OLE automation's
# dates, GDI+'s REAL drawing calls) would receive garbage. The tail is
# therefore replaced by one that keeps the floating-point argument registers
# too (DelayLoadTail.s.in): dlltool's is renamed and left unused.
#
# hs_delay_import_library(<dll> <out-var>) makes a delay-import library for
# <dll> (for example gdiplus) out of every function that MinGW's own import
# library exports, and returns its path in <out-var>.

set(HS_MINGW_LIB_DIR /usr/x86_64-w64-mingw32/lib)

function(hs_delay_import_library dll out_var)
  set(dir ${CMAKE_BINARY_DIR}/delayimp)
  set(def ${dir}/${dll}.def)
  set(lib ${dir}/lib${dll}_delayload.a)
  set(import_lib ${HS_MINGW_LIB_DIR}/lib${dll}.a)
  if(NOT EXISTS ${import_lib})
    message(FATAL_ERROR "No MinGW import library for ${dll}: ${import_lib}")
  endif()
  if(NOT EXISTS ${lib} OR ${import_lib} IS_NEWER_THAN ${lib}
     OR ${HS_CMAKE_DIR}/DelayLoadTail.s.in IS_NEWER_THAN ${lib})
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
      # Interface ids are data, which a delay-loaded call cannot stand for
      # (MinGW's oleacc lists IID_IAccessible as a function): they come from
      # libuuid instead, as everyone else's do.
      if(NOT name MATCHES "^(IID|LIBID|CLSID)_")
        string(APPEND exports "${name}\n")
      endif()
    endforeach()
    file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n${exports}")
    file(REMOVE ${lib})
    execute_process(COMMAND ${HS_DLLTOOL} --input-def ${def} --output-delaylib ${lib}
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "dlltool could not make the delay-import library for ${dll}")
    endif()
    hs_replace_delay_load_tail(${lib} ${dir}/${dll}-tail)
  endif()
  set(${out_var} ${lib} PARENT_SCOPE)
endfunction()

# Gives the library the tail of DelayLoadTail.s.in in place of dlltool's.
function(hs_replace_delay_load_tail lib work)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  execute_process(COMMAND ${HS_AR} t ${lib} OUTPUT_VARIABLE members RESULT_VARIABLE rc)
  string(REGEX MATCH "[^\n]*_h\\.o" head "${members}")
  if(NOT rc EQUAL 0 OR head STREQUAL "")
    message(FATAL_ERROR "No head member in ${lib}")
  endif()
  execute_process(COMMAND ${HS_AR} x ${lib} ${head} WORKING_DIRECTORY ${work} RESULT_VARIABLE rc)
  execute_process(COMMAND ${HS_NM} ${work}/${head} OUTPUT_VARIABLE symbols)
  string(REGEX MATCH "T (__tailMerge_[A-Za-z0-9_]+)" found "${symbols}")
  set(tail ${CMAKE_MATCH_1})
  string(REGEX MATCH "D (__DELAY_IMPORT_DESCRIPTOR_[A-Za-z0-9_]+)" found "${symbols}")
  set(descriptor ${CMAKE_MATCH_1})
  if(NOT rc EQUAL 0 OR tail STREQUAL "" OR descriptor STREQUAL "")
    message(FATAL_ERROR "No delay-load tail or descriptor in ${lib}")
  endif()
  set(TAIL ${tail})
  set(DESCRIPTOR ${descriptor})
  configure_file(${HS_CMAKE_DIR}/DelayLoadTail.s.in ${work}/tail.s @ONLY)
  execute_process(COMMAND ${HS_OBJCOPY} --redefine-sym ${tail}=${tail}_integers_only ${work}/${head}
                  RESULT_VARIABLE rc1)
  execute_process(COMMAND ${HS_AS} -o ${work}/tail.o ${work}/tail.s RESULT_VARIABLE rc2)
  execute_process(COMMAND ${HS_AR} r ${lib} ${work}/${head} ${work}/tail.o RESULT_VARIABLE rc3)
  if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT rc3 EQUAL 0)
    message(FATAL_ERROR "The delay-load tail of ${lib} could not be replaced")
  endif()
endfunction()
