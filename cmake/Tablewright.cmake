# Helpers shared by the per-folder CMakeLists files.

# The folder that holds the project's sources; tests use it to find their data.
set(TW_SOURCE_DIR ${CMAKE_SOURCE_DIR})
# Where real Access and FoxPro files made by other programs may be found. Tests that
# use them skip when the folder is absent.
get_filename_component(TW_SHARED_DIR ${CMAKE_SOURCE_DIR}/../shared ABSOLUTE)

# tw_require_package(PACKAGE DEBIAN_PACKAGE [find_package arguments ...])
# find_package that stops the configuration when PACKAGE is missing, naming the Debian
# package to install.
macro(tw_require_package package debian)
  find_package(${package} ${ARGN})
  if(NOT ${package}_FOUND)
    message(FATAL_ERROR "${package} not found: install the Debian package ${debian} "
                        "(`make deps` installs what the program needs, `make test-deps` what the tests need)")
  endif()
endmacro()

# tw_add_test(NAME SOURCES ... LIBS ... [ENV ...])
# One GoogleTest executable whose cases are registered with CTest one by one.
function(tw_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tw_test_support GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    TW_SOURCE_DIR="${TW_SOURCE_DIR}"
    TW_SHARED_DIR="${TW_SHARED_DIR}"
    TW_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}")
endfunction()

# tw_add_tests_per_file(PREFIX LIBS ...)
# One test executable per *_test.cpp file of the calling folder, named PREFIX_<stem>, so
# that one file's state never blocks the others from building. Leaves the list of sources
# in TW_TEST_SOURCES for the caller.
function(tw_add_tests_per_file prefix)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src ${sources})
    get_filename_component(stem ${src} NAME_WE)
    tw_add_test(${prefix}_${stem} SOURCES ${src} LIBS ${T_LIBS})
  endforeach()
  set(TW_TEST_SOURCES ${sources} PARENT_SCOPE)
endfunction()
