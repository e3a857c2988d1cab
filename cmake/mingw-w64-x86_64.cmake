# Cross-building for 64-bit Windows (x86-64): see mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(DORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
