# SPDX-License-Identifier: GPL-3.0-or-later
# Every dependency is a target defined before its user: a misspelt name or a
# folder added in the wrong order stops the configuration here, instead of
# linking without it.
function(quarnel_check_deps user)
  foreach(dep ${ARGN})
    if(NOT TARGET ${dep})
      message(FATAL_ERROR "${user} depends on ${dep}, which is no target (misspelt, "
                          "or its folder is added after ${user}'s)")
    endif()
  endforeach()
endfunction()

# Each module folder is one static library of every source in it (subfolders
# included), so adding a file needs no CMake edit. Headers are included as
# "module/File.h" from src/.
function(quarnel_module name dir)
  cmake_parse_arguments(M "QT" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${dir}/*.cpp ${dir}/*.h ${dir}/*.ui ${dir}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    message(FATAL_ERROR "${name}: no sources in ${dir}")
  endif()
  add_library(${name} STATIC ${sources})
  # The Python module links the Qt-free ones into a shared object.
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(M_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  endif()
  quarnel_check_deps(${name} ${M_DEPS})
  target_link_libraries(${name} PUBLIC ${M_DEPS})
endfunction()

# One GoogleTest program per folder of unit tests; LAUNCHER names a program that
# every case (and the discovery) runs under.
function(quarnel_gtest name dir)
  cmake_parse_arguments(T "" "LAUNCHER" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT sources)
    message(FATAL_ERROR "${name}: no tests in ${dir}")
  endif()
  add_executable(${name} ${sources})
  if(T_LAUNCHER)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${T_LAUNCHER})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QUARNEL_BIN_DIR="${QUARNEL_BIN_DIR}"
    QUARNEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  quarnel_check_deps(${name} ${T_DEPS})
  target_link_libraries(${name} PRIVATE ${T_DEPS} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# One QtTest program per tst_*.cpp; the other sources of the folder are shared
# helpers linked into each of them.
function(quarnel_qtest prefix dir)
  cmake_parse_arguments(T "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${dir}/tst_*.cpp)
  file(GLOB_RECURSE helpers CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  list(FILTER helpers EXCLUDE REGEX "/tst_[^/]*\\.cpp$")
  foreach(test ${tests})
    get_filename_component(base ${test} NAME_WE)
    set(target ${prefix}_${base})
    add_executable(${target} ${test} ${helpers})
    set_target_properties(${target} PROPERTIES AUTOMOC ON
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${target} PRIVATE
      QUARNEL_BIN_DIR="${QUARNEL_BIN_DIR}"
      QUARNEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    quarnel_check_deps(${target} ${T_DEPS})
    target_link_libraries(${target} PRIVATE ${T_DEPS} Qt6::Test)
    add_test(NAME ${target} COMMAND ${target})
  endforeach()
endfunction()
