# vandrel_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [GUI] [LABELS <labels...>] [TIMEOUT <s>])
# One GoogleTest binary and one CTest test. GUI tests get a QApplication on the offscreen platform.
function(vandrel_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${T_NAME} PRIVATE vandrel_test_main_gui)
  else()
    target_link_libraries(${T_NAME} PRIVATE vandrel_test_main)
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
  target_include_directories(${T_NAME} PRIVATE ${VANDREL_SOURCE_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  vandrel_set_test_environment(${T_NAME} ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# vandrel_set_test_environment(<test> <timeout in s>): what every test runs with, in every build.
function(vandrel_set_test_environment test timeout)
  math(EXPR timeout "${timeout} * ${VANDREL_TEST_TIME_FACTOR}")
  set_tests_properties(${test} PROPERTIES
    TIMEOUT ${timeout}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANDREL_SOURCE_DIR=${VANDREL_SOURCE_DIR}")
  if(VANDREL_SANITIZE)
    # UBSan only prints by default; a test that hits undefined behaviour must fail.
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  if(VANDREL_TSAN)
    # Qt and GLib are not instrumented; their internal hand-overs are suppressed.
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      "TSAN_OPTIONS=suppressions=${VANDREL_SOURCE_DIR}/tests/support/tsan.supp")
  endif()
endfunction()

# vandrel_add_bench(NAME <name> SOURCES <files...> LIBS <targets...>)
function(vandrel_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE vandrel_bench_main ${B_LIBS})
  set_property(GLOBAL APPEND PROPERTY VANDREL_BENCHMARKS ${B_NAME})
endfunction()

# vandrel_glob_library(<target> <deps...>): a static library of every .cpp in the calling folder (header-only
# while the folder has none), with the repository's src/ as its include root.
function(vandrel_glob_library target)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${VANDREL_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARGN})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${VANDREL_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARGN})
  endif()
endfunction()

# vandrel_glob_tests(<prefix> <libs...>): one test binary per *_test.cpp in the calling folder.
function(vandrel_glob_tests prefix)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(file IN LISTS tests)
    get_filename_component(name ${file} NAME_WE)
    vandrel_add_test(NAME ${prefix}_${name} SOURCES ${file} LIBS ${ARGN})
  endforeach()
endfunction()
