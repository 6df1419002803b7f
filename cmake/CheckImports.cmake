# Build check: an executable may import only DLLs that ship with Windows; the
# launcher may import statically only DLLs that Windows always loads from the
# system folder (KnownDLLs). Everything else must be delay-loaded.
#
# Run as: cmake -DEXE=<file> -DOBJDUMP=<objdump> -DALLOWED=<a,b,c> -P CheckImports.cmake
# A failing executable is removed, so the next build links it again and fails again.

cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${EXE})
  message(FATAL_ERROR "objdump could not read ${EXE}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
string(TOLOWER "${ALLOWED}" allowed)
string(REPLACE "," ";" allowed "${allowed}")
set(bad "")
set(seen "")
foreach(entry IN LISTS names)
  string(REGEX REPLACE "^DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  string(REGEX REPLACE "\\.dll$" "" base "${dll}")
  list(APPEND seen ${base})
  if(NOT base IN_LIST allowed)
    list(APPEND bad ${dll})
  endif()
endforeach()

if(bad)
  file(REMOVE ${EXE})
  list(JOIN bad ", " bad_text)
  message(FATAL_ERROR "${EXE} statically imports ${bad_text}, which may not be loaded from "
                      "beside the executable. Delay-load it (see cmake/DelayImports.cmake).")
endif()
