# veltro_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [GUI])
#
# One test executable per test file, registered with ctest. GUI tests run on
# Qt's offscreen platform so they need no display.
function(veltro_add_test name)
  if(NOT VELTRO_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(env "VELTRO_DIST_DIR=${VELTRO_DIST_DIR};VELTRO_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
    list(APPEND T_LABELS gui)
  else()
    list(APPEND T_LABELS unit)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" LABELS "${T_LABELS}" TIMEOUT 600)
endfunction()

# veltro_add_fuzzer(<name> SOURCES <files...> LIBS <targets...>)
#
# A libFuzzer harness, built only with -DVELTRO_FUZZ=ON (clang). ./test.sh runs
# every harness briefly, seeded from fuzz/seeds/<name without "fuzz_">/ when
# that folder exists.
if(VELTRO_FUZZ AND NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()
function(veltro_add_fuzzer name)
  if(NOT VELTRO_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzzers ${name})
endfunction()

# veltro_expose(<target> <folder> [PRIVATE])
#
# Makes the headers of one module folder reachable as "<folder>/name.h" for
# <target> and, unless PRIVATE, for everything that links it. Each module gets
# an include root of its own in the build tree holding only a link to its
# folder, so a file can include exactly the modules its target links.
function(veltro_expose target folder)
  cmake_parse_arguments(E "PRIVATE" "" "" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  if(E_PRIVATE)
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# veltro_module(<target> [DEPS <libs...>] [TEST_DEPS <libs...>] [EXCLUDE <files...>])
#
# The static library of one module folder: every .cpp in the folder except the
# tests and fuzz harnesses, plus one test executable per *_test.cpp (GUI tests
# are *_ui_test.cpp). Includes are written from the source root
# ("image/image_buffer.h") and reach only the modules the target links.
function(veltro_module target)
  cmake_parse_arguments(M "" "" "DEPS;TEST_DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB harnesses CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_fuzz.cpp)
  if(tests)
    list(REMOVE_ITEM sources ${tests})
  endif()
  if(harnesses)
    list(REMOVE_ITEM sources ${harnesses})
  endif()
  foreach(x ${M_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${x})
    list(REMOVE_ITEM tests ${CMAKE_CURRENT_SOURCE_DIR}/${x})
  endforeach()
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  add_library(${target} STATIC ${sources})
  veltro_expose(${target} ${folder})
  target_link_libraries(${target} PUBLIC ${M_DEPS})
  foreach(t ${tests})
    get_filename_component(tname ${t} NAME_WE)
    if(tname MATCHES "_ui_test$")
      veltro_add_test(${tname} SOURCES ${t} LIBS ${target} ${M_TEST_DEPS} GUI)
    else()
      veltro_add_test(${tname} SOURCES ${t} LIBS ${target} ${M_TEST_DEPS})
    endif()
  endforeach()
endfunction()
