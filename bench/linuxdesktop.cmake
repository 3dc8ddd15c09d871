vandrel_add_bench(NAME bench_linux_desktop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/linux_desktop_bench.cpp
  LIBS vandrel_platform_linux)
# The private X session the benchmark runs against comes from the tests' support.
target_include_directories(bench_linux_desktop PRIVATE ${VANDREL_SOURCE_DIR}/tests)
