# Cross-compiles a 64-bit twin of the DLL and its Windows tests, for machines whose kernel cannot
# run 32-bit x86 code (and so cannot run 32-bit Wine). Same sources; the player only ever loads
# the 32-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CRACKLETON_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
