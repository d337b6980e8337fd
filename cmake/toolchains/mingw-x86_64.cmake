# Cross build for 64-bit Windows; its programs run under Wine through tools/wine/wine-run.
set(TESSAL_MINGW_TRIPLET x86_64-w64-mingw32)
set(TESSAL_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine/wine-run)
