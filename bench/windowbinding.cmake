vandrel_add_bench(NAME bench_windowbinding SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/window_binding_bench.cpp
  LIBS vandrel_windowbinding vandrel_platform_linux)
# The private X session the benchmark runs against comes from the tests' support.
target_include_directories(bench_windowbinding PRIVATE ${VANDREL_SOURCE_DIR}/tests)
