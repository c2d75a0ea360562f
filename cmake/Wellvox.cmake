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

# wv_add_tests(<folder> [DEPS <targets>...])
# Builds every .cpp of tests/<folder> into one GoogleTest executable and
# registers its tests with CTest.
function(wv_add_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target wv_${folder}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  wv_warnings(${target})
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TZ=UTC;LC_ALL=C" TIMEOUT 300)
endfunction()
