# The Windows build: Dorvane.ocx as a COM in-process server, dorvane.exe and
# the test programs, cross-compiled with mingw-w64 (cmake/mingw-w64-x86_64.cmake;
# bash scripts/windows sets it up). Included from the top CMakeLists.txt.
#
# What differs between the systems is chosen here by file: a platform file
# NAME_windows.cpp replaces NAME.cpp, and a file with no POSIX twin ending in
# _windows.cpp is taken only here. Linux-only parts stay out: Calc over UNO,
# the office extension, the network service and the Qt face.

add_compile_options(-Wall -Wextra)
# -O2, as the Linux build (GCC 12 at -O3 warns falsely inside libstdc++'s
# char_traits with -Wrestrict).
string(REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
string(REPLACE "-O3" "-O2" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

find_package(SQLite3 REQUIRED)
find_package(pugixml REQUIRED)
# libzip links zlib statically: its archive, not its DLL.
find_library(ZLIB_LIBRARY NAMES libz.a REQUIRED)
find_package(ZLIB REQUIRED)
find_package(libzip REQUIRED)
find_package(Threads REQUIRED)

# Header-only libraries are taken from the build machine's Debian packages.
set(DORVANE_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${DORVANE_HOST_HEADERS})
foreach(dir nlohmann CLI)
  if(NOT EXISTS ${DORVANE_HOST_HEADERS}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${DORVANE_HOST_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()

# ---- the system's layers ---------------------------------------------------------
set(DORVANE_CORE_FOLDERS platform resolve page worksheet report control)
# Batch runs: their workbook jobs without Calc (src/batch/*_windows.cpp).
list(APPEND DORVANE_CORE_FOLDERS batch)
set(DORVANE_CORE_GLOBS)
foreach(folder ${DORVANE_CORE_FOLDERS})
  list(APPEND DORVANE_CORE_GLOBS src/${folder}/*.cpp)
endforeach()
file(GLOB_RECURSE DORVANE_CORE_SOURCES CONFIGURE_DEPENDS ${DORVANE_CORE_GLOBS})
list(FILTER DORVANE_CORE_SOURCES EXCLUDE REGEX
     "src/(control/(library|face)/|platform/sheet/calc/)")
# The component runtime of the POSIX build (its registry file, dlopen, its own
# dispatch) and what only it serves: on Windows the system's COM does this.
list(FILTER DORVANE_CORE_SOURCES EXCLUDE REGEX
     "src/(control/(registry_file|host_runtime|library_locator|ctl_message_object|sample_run))\\.cpp$")
# A Windows file replaces its POSIX twin.
foreach(source ${DORVANE_CORE_SOURCES})
  if(source MATCHES "^(.*)_windows\\.cpp$")
    list(REMOVE_ITEM DORVANE_CORE_SOURCES "${CMAKE_MATCH_1}.cpp")
  endif()
endforeach()

add_library(dorvane_core STATIC ${DORVANE_CORE_SOURCES})
target_include_directories(dorvane_core PUBLIC include src)
target_include_directories(dorvane_core SYSTEM PUBLIC ${DORVANE_HOST_HEADERS})
target_link_libraries(dorvane_core PUBLIC SQLite::SQLite3 libzip::zip pugixml::pugixml odbc32
                      Threads::Threads)
target_compile_definitions(dorvane_core PRIVATE
  DORVANE_SOURCE_SAMPLES="${CMAKE_SOURCE_DIR}/samples")
# The ODBC driver manager is loaded by name when a server table is first
# opened (platform/db/odbc/odbc_api.cpp), as on Linux.
target_compile_definitions(dorvane_core PRIVATE DORVANE_ODBC_SONAME="odbc32.dll")

# ---- the type library ------------------------------------------------------------
find_program(DORVANE_WIDL NAMES widl PATHS /usr/lib/wine REQUIRED)
set(DORVANE_WINE_IDL /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files (wine64-tools)")
set(DORVANE_WINE_TLB /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH
    "Wine's type libraries (stdole2.tlb)")
set(DORVANE_COM_GEN ${CMAKE_BINARY_DIR}/com)
file(MAKE_DIRECTORY ${DORVANE_COM_GEN})
# widl writes the library for this build's pointer size; typelib_names.py
# then writes the Japanese method names into it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DORVANE_WIDL_BITS -m64)
else()
  set(DORVANE_WIDL_BITS -m32)
endif()
add_custom_command(
  OUTPUT ${DORVANE_COM_GEN}/dorvane_com.h ${DORVANE_COM_GEN}/dorvane_com_i.c
         ${DORVANE_COM_GEN}/dorvane.tlb
  COMMAND ${DORVANE_WIDL} ${DORVANE_WIDL_BITS} -I ${DORVANE_WINE_IDL} -L ${DORVANE_WINE_TLB} -h
          -H ${DORVANE_COM_GEN}/dorvane_com.h -u -U ${DORVANE_COM_GEN}/dorvane_com_i.c
          -t -T ${DORVANE_COM_GEN}/dorvane_widl.tlb
          ${CMAKE_SOURCE_DIR}/src/windows/dorvane_com.idl
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/src/windows/typelib_names.py
          ${DORVANE_COM_GEN}/dorvane_widl.tlb ${DORVANE_COM_GEN}/dorvane.tlb
  DEPENDS ${CMAKE_SOURCE_DIR}/src/windows/dorvane_com.idl
          ${CMAKE_SOURCE_DIR}/src/windows/typelib_names.py
  COMMENT "Compiling the type library with widl")
add_custom_target(dorvane_com_idl DEPENDS ${DORVANE_COM_GEN}/dorvane_com.h
                                          ${DORVANE_COM_GEN}/dorvane.tlb)
set(DORVANE_TLB ${DORVANE_COM_GEN}/dorvane.tlb)

# ---- Dorvane.ocx -----------------------------------------------------------------
file(GLOB DORVANE_OCX_SOURCES CONFIGURE_DEPENDS src/windows/ocx/*.cpp)
configure_file(src/windows/ocx/dorvane_ocx.rc.in ${DORVANE_COM_GEN}/dorvane_ocx.rc @ONLY)
set_source_files_properties(${DORVANE_COM_GEN}/dorvane_ocx.rc PROPERTIES OBJECT_DEPENDS
                            "${DORVANE_TLB};${CMAKE_SOURCE_DIR}/src/control/library/toolbox.bmp")
add_library(dorvane_ocx SHARED ${DORVANE_OCX_SOURCES} ${DORVANE_COM_GEN}/dorvane_com_i.c
            ${DORVANE_COM_GEN}/dorvane_ocx.rc
            src/windows/ocx/dorvane_ocx.def)
add_dependencies(dorvane_ocx dorvane_com_idl)
set_target_properties(dorvane_ocx PROPERTIES OUTPUT_NAME Dorvane PREFIX "" SUFFIX ".ocx"
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(dorvane_ocx PRIVATE ${DORVANE_COM_GEN} src/windows)
target_link_libraries(dorvane_ocx PRIVATE dorvane_core ole32 oleaut32 uuid advapi32 user32 gdi32)
target_link_options(dorvane_ocx PRIVATE -Wl,--kill-at)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The .def names the exports undecorated: stdcall's @N suffixes fixed up.
  target_link_options(dorvane_ocx PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# ---- dorvane.exe ---------------------------------------------------------------
file(GLOB DORVANE_CLI_SOURCES CONFIGURE_DEPENDS src/cli/*.cpp src/windows/cli/*.cpp)
# Commands of Linux-only parts and the POSIX entry and office suite;
# src/windows/cli has their Windows forms.
list(FILTER DORVANE_CLI_SOURCES EXCLUDE REGEX
     "src/cli/(component_commands|serve_command|console|office)\\.cpp$")
add_executable(dorvane ${DORVANE_CLI_SOURCES})
set_target_properties(dorvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(dorvane PRIVATE dorvane_core ole32 oleaut32 uuid version)
# The command line as UTF-16: wmain (src/windows/cli/console_windows.cpp).
target_link_options(dorvane PRIVATE -municode)
# ole32, oleaut32 and version are loaded at the first call into them (the
# running Excel, registration, --version), not at every start: they bring the
# window and graphics libraries with them, whose start-up under Wine costs
# more than a page merge. Delay-import libraries of the same names, made from
# the toolchain's import libraries, stand before them on the search path.
find_program(DORVANE_MINGW_NM ${DORVANE_MINGW_TRIPLE}-nm REQUIRED)
find_program(DORVANE_MINGW_DLLTOOL ${DORVANE_MINGW_TRIPLE}-dlltool REQUIRED)
set(DORVANE_DELAY_DIR ${CMAKE_BINARY_DIR}/delay-imports)
set(DORVANE_DELAY_LIBS)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(DORVANE_DELAY_UNDERSCORE ON)
else()
  set(DORVANE_DELAY_UNDERSCORE OFF)
endif()
foreach(lib ole32 oleaut32 version)
  find_library(DORVANE_IMPORT_${lib} NAMES lib${lib}.a REQUIRED)
  add_custom_command(
    OUTPUT ${DORVANE_DELAY_DIR}/lib${lib}.a
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DORVANE_DELAY_DIR}
    COMMAND ${CMAKE_COMMAND} -DNM=${DORVANE_MINGW_NM} -DDLLTOOL=${DORVANE_MINGW_DLLTOOL}
            -DIMPORT=${DORVANE_IMPORT_${lib}} -DDLL=${lib}.dll
            -DUNDERSCORE=${DORVANE_DELAY_UNDERSCORE} -DOUT=${DORVANE_DELAY_DIR}/lib${lib}.a
            -P ${CMAKE_SOURCE_DIR}/cmake/windows_delay_import.cmake
    DEPENDS ${DORVANE_IMPORT_${lib}} ${CMAKE_SOURCE_DIR}/cmake/windows_delay_import.cmake
    COMMENT "Making the delay-import library of ${lib}.dll")
  list(APPEND DORVANE_DELAY_LIBS ${DORVANE_DELAY_DIR}/lib${lib}.a)
endforeach()
add_custom_target(dorvane_delay_imports DEPENDS ${DORVANE_DELAY_LIBS})
add_dependencies(dorvane dorvane_delay_imports)
target_link_directories(dorvane BEFORE PRIVATE ${DORVANE_DELAY_DIR})
set_property(TARGET dorvane APPEND PROPERTY LINK_DEPENDS ${DORVANE_DELAY_LIBS})

# ---- the visual control in containers: its tests and benchmark ------------------
# Both bitnesses (no GoogleTest, which the 32-bit build does not have); run
# under Wine on a display by tests/windows/run.sh and bench/bench_windows.sh.
add_executable(dorvane_control_tests tests/windows/control/control_test.cpp
               ${DORVANE_COM_GEN}/dorvane_com_i.c)
add_dependencies(dorvane_control_tests dorvane_com_idl)
set_target_properties(dorvane_control_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(dorvane_control_tests PRIVATE tests/windows ${DORVANE_COM_GEN})
target_link_libraries(dorvane_control_tests PRIVATE ole32 oleaut32 uuid user32 gdi32)
target_link_options(dorvane_control_tests PRIVATE -municode)
add_executable(bench_control_site bench/windows/bench_control_site.cpp)
set_target_properties(bench_control_site PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(bench_control_site PRIVATE tests/windows)
target_link_libraries(bench_control_site PRIVATE ole32 user32 psapi)

# ---- tests -------------------------------------------------------------------------
if(DORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(cmake/windows_tests.cmake)
endif()
