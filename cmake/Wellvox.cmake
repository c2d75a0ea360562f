# Shared build settings and the helpers every folder uses.

function(wv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(WV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# wv_add_library(<folder> [DEPS <targets>...])
# Builds every .cpp of <folder> into the static library wv_<folder>. Headers are
# included as "<folder>/Name.h" from the project root.
function(wv_add_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  wv_static_or_interface(wv_${folder} "${sources}" "${ARG_DEPS}")
endfunction()

# wv_add_qt_library(<folder> [DEPS <targets>...])
# The same for a folder of user-interface code: its sources see Qt Widgets, and moc and
# rcc run on them (Q_OBJECT classes, .qrc resource files of the folder).
function(wv_add_qt_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  wv_find_qt()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  wv_static_or_interface(wv_${folder} "${sources}" "${ARG_DEPS};Qt6::Widgets")
  if(TARGET wv_${folder} AND sources)
    set_target_properties(wv_${folder} PROPERTIES AUTOMOC ON AUTORCC ON)
  endif()
endfunction()

# Finds Qt 6 (Widgets, and Test when tests are built) once per directory scope.
macro(wv_find_qt)
  if(NOT TARGET Qt6::Widgets)
    find_package(Qt6 REQUIRED COMPONENTS Widgets)
  endif()
  if(WV_BUILD_TESTS AND NOT TARGET Qt6::Test)
    find_package(Qt6 REQUIRED COMPONENTS Test)
  endif()
endmacro()

# A static library of sources, or a header-only interface target while a
# folder has no sources yet.
function(wv_static_or_interface target sources deps)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${deps})
    wv_warnings(${target})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${deps})
  endif()
endfunction()

# The headers every test file parses before its own code: GoogleTest and the heavy
# standard headers. They are precompiled once, into wv_test_pch, and every test
# executable reuses that one precompiled header. Reuse needs the same compile flags,
# which the test targets share (the preset's flags, the warnings, C++20); GCC's
# -Winvalid-pch, which CMake adds, turns a mismatch into a build error under -Werror.
function(wv_test_pch)
  if(TARGET wv_test_pch)
    return()
  endif()
  set(source ${CMAKE_BINARY_DIR}/wv_test_pch.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// Carries the shared precompiled header of the tests.\n")
  add_library(wv_test_pch OBJECT ${source})
  target_link_libraries(wv_test_pch PRIVATE GTest::gtest)
  wv_warnings(wv_test_pch)
  target_precompile_headers(wv_test_pch PRIVATE
    <gtest/gtest.h>
    <algorithm> <array> <atomic> <chrono> <cmath> <cstdint> <cstring> <filesystem> <fstream>
    <functional> <map> <memory> <mutex> <optional> <sstream> <string> <string_view> <thread>
    <utility> <vector>)
endfunction()

# wv_add_tests(<folder> [QT] [DEPS <targets>...] [ENVIRONMENT <NAME=value>...])
# Builds every .cpp of tests/<folder> into one GoogleTest executable and
# registers its tests with CTest; ENVIRONMENT adds to the tests' environment.
# QT marks tests of user-interface code: they link Qt Widgets and Qt Test, run moc on
# their sources and run on the offscreen platform.
function(wv_add_tests folder)
  cmake_parse_arguments(ARG "QT" "" "DEPS;ENVIRONMENT" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  wv_test_pch()
  set(target wv_${folder}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(ARG_QT)
    # Qt's targets compile their users as position-independent code, so these tests
    # cannot reuse the shared precompiled header and get one of their own.
    wv_find_qt()
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/QtApplicationEnvironment.cpp)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    target_link_libraries(${target} PRIVATE Qt6::Widgets Qt6::Test)
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h> <QtWidgets> <QtTest> <memory> <string> <vector>)
    list(APPEND ARG_ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  else()
    target_precompile_headers(${target} REUSE_FROM wv_test_pch)
  endif()
  # CTest starts the executable once per test. Linked position-dependent, it needs no
  # load-time relocation: a sanitizer build otherwise patches about a million addresses
  # (its metadata) at every start, a third of each short test's time.
  target_link_options(${target} PRIVATE -no-pie)
  wv_warnings(${target})
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
  # gtest_discover_tests passes PROPERTIES through a flattened list, so a value that is
  # itself a list (ENVIRONMENT) would lose all but its first entry. The environment is
  # set instead by a file CTest reads after the discovered tests.
  set(environment TZ=UTC LC_ALL=C ${ARG_ENVIRONMENT})
  set(environment_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_environment.cmake)
  file(CONFIGURE OUTPUT ${environment_file} @ONLY CONTENT
    "if(${target}_TESTS)\n  set_tests_properties(\${${target}_TESTS} PROPERTIES ENVIRONMENT \"${environment}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${environment_file})
endfunction()

# wv_comma_locale(<out-var>)
# Generates the German locale (decimal comma) into <build>/locale at build time, so
# tests can prove that numbers in files and protocols ignore the process and thread
# locale. Sets <out-var> to the environment that makes it loadable (LOCPATH, and
# WV_TEST_COMMA_LOCALE naming it) and creates the target wv_comma_locale; leaves
# <out-var> empty when localedef or the locale sources (Debian's "locales") are missing.
function(wv_comma_locale out)
  set(${out} "" PARENT_SCOPE)
  find_program(WV_LOCALEDEF localedef)
  find_path(WV_I18N_LOCALES de_DE PATHS /usr/share/i18n/locales NO_DEFAULT_PATH)
  if(NOT WV_LOCALEDEF OR NOT WV_I18N_LOCALES)
    message(STATUS "No localedef or locale sources: the comma-decimal locale tests will skip")
    return()
  endif()
  set(root ${CMAKE_BINARY_DIR}/locale)
  set(name de_DE.UTF-8)
  # localedef exits with 1 when it only warned and still wrote the locale.
  add_custom_command(OUTPUT ${root}/${name}/LC_NUMERIC
    COMMAND ${CMAKE_COMMAND} -E make_directory ${root}
    COMMAND sh -c "\"$0\" --quiet -i de_DE -f UTF-8 \"$1\"; [ $? -le 1 ]" ${WV_LOCALEDEF} ${root}/${name}
    COMMENT "Generating the ${name} locale for the tests"
    VERBATIM)
  add_custom_target(wv_comma_locale DEPENDS ${root}/${name}/LC_NUMERIC)
  # glibc's newlocale does not free the search path it builds from LOCPATH; the leak
  # checker of the sanitizer builds is told to ignore exactly that allocation.
  set(suppressions ${root}/lsan-locpath.supp)
  file(CONFIGURE OUTPUT ${suppressions} CONTENT "leak:__argz_add_sep\n")
  set(${out} "LOCPATH=${root};WV_TEST_COMMA_LOCALE=${name};LSAN_OPTIONS=suppressions=${suppressions}:print_suppressions=0"
    PARENT_SCOPE)
endfunction()
