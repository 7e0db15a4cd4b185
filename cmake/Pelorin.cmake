# Shared build settings and helpers for all parts of the tree.
#
# PELORIN_WINDOWS   ON for the mingw-w64 builds, OFF for the native build of the
#                   units that include no Windows header.
# PELORIN_BITS      32 or 64 (pointer size of the target).
# PELORIN_DIST_DIR  where products land: <build>/dist/64bit or <build>/dist/32bit.
# PELORIN_FIXTURE_DIR  where test fixtures (DLLs, files) land.
# PELORIN_TARGET_BUILD_DIR  the build directory as the test programs see it
#                   ("Z:/..." under Wine, the plain path natively).

if(WIN32)
  set(PELORIN_WINDOWS ON)
else()
  set(PELORIN_WINDOWS OFF)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PELORIN_BITS 64)
else()
  set(PELORIN_BITS 32)
endif()

set(PELORIN_DIST_DIR "${CMAKE_BINARY_DIR}/dist/${PELORIN_BITS}bit")
set(PELORIN_FIXTURE_DIR "${CMAKE_BINARY_DIR}/fixtures")
file(MAKE_DIRECTORY "${PELORIN_DIST_DIR}" "${PELORIN_FIXTURE_DIR}")

if(PELORIN_WINDOWS)
  set(PELORIN_TARGET_BUILD_DIR "Z:${CMAKE_BINARY_DIR}")
else()
  set(PELORIN_TARGET_BUILD_DIR "${CMAKE_BINARY_DIR}")
endif()

set(PELORIN_SANITIZE "" CACHE STRING "Sanitizers for the native build, e.g. address,undefined or thread")

add_compile_options(-Wall -Wextra)
if(PELORIN_WINDOWS)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  # Static runtime: no mingw DLL is needed beside any program or plugin.
  add_link_options(-static -static-libgcc -static-libstdc++)
elseif(PELORIN_SANITIZE)
  add_compile_options(-fsanitize=${PELORIN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${PELORIN_SANITIZE})
endif()

# pelorin_product(<target>): a shipped program, placed in the dist directory.
function(pelorin_product target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${PELORIN_DIST_DIR}"
    LIBRARY_OUTPUT_DIRECTORY "${PELORIN_DIST_DIR}")
endfunction()

# pelorin_fixture(<target> [NAME <file name>]): a test fixture (plugin DLL, driver,
# helper program), placed in the fixture directory, optionally under another file
# name (for instance a ".dll" renamed to ".acm").
function(pelorin_fixture target)
  cmake_parse_arguments(F "" "NAME" "" ${ARGN})
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${PELORIN_FIXTURE_DIR}"
    LIBRARY_OUTPUT_DIRECTORY "${PELORIN_FIXTURE_DIR}"
    PREFIX "")
  if(F_NAME)
    get_filename_component(base "${F_NAME}" NAME_WE)
    get_filename_component(ext "${F_NAME}" EXT)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME "${base}" SUFFIX "${ext}")
  endif()
endfunction()

# pelorin_test(<name> SOURCES ... [LIBS ...] [DEPENDS ...] [LABELS ...] [NO_MAIN])
# One GoogleTest program, registered as one ctest test. The program sees the
# build directory as PELORIN_BUILD_DIR (a string literal in its own path syntax).
function(pelorin_test name)
  cmake_parse_arguments(T "NO_MAIN" "" "SOURCES;LIBS;DEPENDS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock ${T_LIBS})
  endif()
  target_compile_definitions(${name} PRIVATE
    PELORIN_BUILD_DIR="${PELORIN_TARGET_BUILD_DIR}"
    PELORIN_BITS=${PELORIN_BITS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# Debian's header-only libraries (CLI11, nlohmann-json, stb) live directly
# under /usr/include, which the cross compilers must not search (it holds the
# build machine's own C library headers). A folder of links to just those
# three serves every build: link pelorin_thirdparty and include them as
# <CLI/CLI.hpp>, <nlohmann/json.hpp>, <stb/stb_image_write.h>.
set(PELORIN_THIRDPARTY_INCLUDE "${CMAKE_BINARY_DIR}/thirdparty-include")
file(MAKE_DIRECTORY "${PELORIN_THIRDPARTY_INCLUDE}")
foreach(lib IN ITEMS CLI nlohmann stb)
  if(NOT EXISTS "/usr/include/${lib}")
    message(FATAL_ERROR "/usr/include/${lib} is missing (scripts/setup.sh installs it)")
  endif()
  if(NOT EXISTS "${PELORIN_THIRDPARTY_INCLUDE}/${lib}")
    file(CREATE_LINK "/usr/include/${lib}" "${PELORIN_THIRDPARTY_INCLUDE}/${lib}" SYMBOLIC)
  endif()
endforeach()
add_library(pelorin_thirdparty INTERFACE)
target_include_directories(pelorin_thirdparty SYSTEM INTERFACE "${PELORIN_THIRDPARTY_INCLUDE}")
