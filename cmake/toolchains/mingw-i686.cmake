# Cross build for 32-bit Windows, the shipping build. Its programs cannot run on this
# 64-bit-only machine, so it has no emulator and registers no tests.
set(TESSAL_MINGW_TRIPLET i686-w64-mingw32)
set(TESSAL_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
