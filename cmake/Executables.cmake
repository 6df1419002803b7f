# How every executable of the project is linked and checked.

include(${CMAKE_CURRENT_LIST_DIR}/DelayImports.cmake)

# DLLs that Windows always loads from the system folder, whatever lies beside
# the executable.
set(HS_KNOWN_DLLS
    kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 comdlg32 psapi shlwapi
    msvcrt rpcrt4 ws2_32 imm32 imagehlp nsi normaliz setupapi sechost wldap32
    combase msctf difxapi clbcatalog)

# Further DLLs that ship with every supported Windows.
set(HS_SYSTEM_DLLS ${HS_KNOWN_DLLS}
    gdiplus msimg32 comctl32 version uxtheme winhttp wininet bcrypt crypt32
    dbghelp userenv secur32 ntdll winmm dwmapi iphlpapi netapi32 wtsapi32
    powrprof shcore)

# hs_executable(<target> [GUI] [KNOWN_DLLS_ONLY] SOURCES ...)
#   A statically linked Windows executable. GUI makes it a GUI-subsystem program
#   entered at wWinMain; KNOWN_DLLS_ONLY restricts its static imports to the
#   KnownDLLs (for programs that run from a folder others can write to).
function(hs_executable target)
  cmake_parse_arguments(ARG "GUI;KNOWN_DLLS_ONLY" "" "SOURCES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  if(ARG_GUI)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  # No link time stamp and no symbol table (it names the build folder's object
  # files): two builds of the same sources in any folders give the same bytes.
  target_link_options(${target} PRIVATE -static -municode -s -Wl,--no-insert-timestamp)
  if(ARG_KNOWN_DLLS_ONLY)
    set(allowed ${HS_KNOWN_DLLS})
  else()
    set(allowed ${HS_SYSTEM_DLLS})
  endif()
  list(JOIN allowed "," allowed)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DOBJDUMP=${HS_OBJDUMP}
            "-DALLOWED=${allowed}" -P ${HS_CMAKE_DIR}/CheckImports.cmake
    VERBATIM)
endfunction()
