# Gives the Wine prefix the drives D: and E:, each a folder of the build, for
# the tests of which drive a staged path lies on. Wine looks its drives up in
# the prefix's "dosdevices" folder at each use, so a running prefix sees them.
#   cmake -DPREFIX=<wine prefix> -DFOLDER=<folder for the drives> -P DriveLetters.cmake
foreach(letter d e)
  file(MAKE_DIRECTORY ${FOLDER}/${letter} ${PREFIX}/dosdevices)
  file(REMOVE ${PREFIX}/dosdevices/${letter}:)
  file(CREATE_LINK ${FOLDER}/${letter} ${PREFIX}/dosdevices/${letter}: SYMBOLIC)
endforeach()
