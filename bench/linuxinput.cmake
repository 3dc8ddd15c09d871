vandrel_add_bench(NAME bench_linux_input SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/linux_input_bench.cpp
  LIBS vandrel_platform_linux)
target_include_directories(bench_linux_input PRIVATE ${VANDREL_SOURCE_DIR}/tests/platform/linux)
