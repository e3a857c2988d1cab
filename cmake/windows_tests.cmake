# The tests of the Windows build, cross-built and run under Wine by
# tests/windows/run.sh (the Windows stage of scripts/test):
#   dorvane_windows_tests.exe  the engine's and the page's GoogleTest cases
#                              that need no Linux-only part, and the Windows
#                              cases of tests/windows (code pages, result
#                              files, the COM server seen from a C++ client)
#   dorvane_box_watcher.exe    finds the "error" box, reports its text, presses OK
set(DORVANE_WINDOWS_TEST_SOURCES
    tests/page/page_differential_test.cpp
    tests/page/page_file_test.cpp
    tests/page/page_pass_test.cpp
    tests/page/page_text_test.cpp
    tests/resolve/resolve_placeholder_test.cpp
    tests/resolve/rounding_test.cpp
    tests/resolve/sql_text_test.cpp
    tests/platform/convert_test.cpp
    tests/platform/db/sql_literals_test.cpp
    tests/platform/db/access/access_values_test.cpp
    tests/platform/db/access/access_damage_test.cpp
    tests/platform/text/text_test.cpp
    tests/platform/text/code_page_test.cpp
    tests/platform/sheet/memory_sheet_test.cpp
    tests/control/type_library_test.cpp)
file(GLOB DORVANE_WINDOWS_OWN_TESTS CONFIGURE_DEPENDS tests/windows/*_test.cpp)
add_executable(dorvane_windows_tests ${DORVANE_WINDOWS_TEST_SOURCES} ${DORVANE_WINDOWS_OWN_TESTS}
               ${DORVANE_COM_GEN}/dorvane_com_i.c)
add_dependencies(dorvane_windows_tests dorvane_com_idl)
set_target_properties(dorvane_windows_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(dorvane_windows_tests PRIVATE tests ${DORVANE_COM_GEN})
target_link_libraries(dorvane_windows_tests PRIVATE dorvane_core GTest::gtest GTest::gtest_main
                      GTest::gmock ole32 oleaut32 uuid)
target_compile_definitions(dorvane_windows_tests PRIVATE DORVANE_SOURCE_DIR=".")
# Precompiled and so included first in every C++ file: what the shared test
# support takes from POSIX (mkdtemp), then GoogleTest's headers. The C file of
# the interface ids needs neither.
target_precompile_headers(dorvane_windows_tests PRIVATE tests/windows/posix_compat.h <gtest/gtest.h>
                          <string> <vector>)
set_source_files_properties(${DORVANE_COM_GEN}/dorvane_com_i.c PROPERTIES SKIP_PRECOMPILE_HEADERS ON)

add_executable(dorvane_box_watcher tests/windows/box_watcher.cpp)
set_target_properties(dorvane_box_watcher PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(dorvane_box_watcher PRIVATE user32)

# The stand-in spreadsheet application the automation backend is tested and
# measured against (tests/windows/standin).
add_executable(excel_standin tests/windows/standin/excel_standin.cpp)
set_target_properties(excel_standin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(excel_standin PRIVATE dorvane_core ole32 oleaut32 uuid)
target_link_options(excel_standin PRIVATE -municode)
