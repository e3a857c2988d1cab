# Cross-building for 32-bit Windows (i686), for 32-bit hosts such as a
# 32-bit Office: see mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DORVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
