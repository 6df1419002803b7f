# Cross build of 64-bit Windows executables with MinGW-w64 (posix thread model,
# which gives std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${HS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${HS_MINGW_TRIPLE}-windres)
set(HS_DLLTOOL ${HS_MINGW_TRIPLE}-dlltool CACHE FILEPATH "dlltool of the cross toolchain")
set(HS_OBJDUMP ${HS_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump of the cross toolchain")
set(HS_NM      ${HS_MINGW_TRIPLE}-nm      CACHE FILEPATH "nm of the cross toolchain")
set(HS_AR      ${HS_MINGW_TRIPLE}-ar      CACHE FILEPATH "ar of the cross toolchain")
set(HS_AS      ${HS_MINGW_TRIPLE}-as      CACHE FILEPATH "assembler of the cross toolchain")
set(HS_OBJCOPY ${HS_MINGW_TRIPLE}-objcopy CACHE FILEPATH "objcopy of the cross toolchain")

set(CMAKE_FIND_ROOT_PATH /usr/${HS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
