# Builds the launcher from the same sources in a folder of its own (another
# path than the build's) and compares it byte for byte with the build's.
#   cmake -DSOURCE=<checkout> -DFOLDER=<scratch folder> -DEXE=<the build's InstallerShim.exe> -P ReproducibleLauncher.cmake
file(REMOVE_RECURSE ${FOLDER})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${FOLDER} -DHS_BUILD_TESTS=OFF
                        -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/toolchain-mingw-w64.cmake
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${FOLDER} --target InstallerShim -j ${jobs}
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXE} ${FOLDER}/bin/InstallerShim.exe RESULT_VARIABLE differ)
file(REMOVE_RECURSE ${FOLDER})
if(differ)
  message(FATAL_ERROR "A second build of InstallerShim.exe in another folder differs from ${EXE}")
endif()
message(STATUS "InstallerShim.exe is the same byte for byte when built in another folder")
